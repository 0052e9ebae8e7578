#include "tests/support/german_locale.h"

#include <clocale>
#include <cstdlib>
#include <string>

#include "tests/support/com_test.h"

namespace qxtest {

namespace {

bool InEffect() {
  return std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr &&
         std::string(std::localeconv()->decimal_point) == ",";
}

}  // namespace

bool UseGermanLocale() {
  if (InEffect()) return true;
  const std::string folder = TestRoot() + "/locale";
  const std::string command = "mkdir -p '" + folder + "' && localedef -i de_DE -f UTF-8 '" +
                              folder + "/de_DE.UTF-8' >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0) return false;
  setenv("LOCPATH", folder.c_str(), 1);
  return InEffect();
}

}  // namespace qxtest

#include "net/upload/temporary_folder.h"

#include <cstdlib>

namespace qx::net {

std::string TemporaryFolder() {
  const char* value = std::getenv("TMPDIR");
  std::string folder = (value != nullptr && *value != '\0') ? value : "/tmp";
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

}  // namespace qx::net

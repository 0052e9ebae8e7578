#include "tests/cli/class_availability.h"

#include "tests/support/com_test.h"

namespace clitest {

std::string MissingClasses(std::initializer_list<std::pair<const CLSID*, const char*>> classes) {
  EXPECT_EQ(qxtest::RegisterModule(), S_OK);
  std::string missing;
  for (const auto& [clsid, name] : classes) {
    IUnknown* object = nullptr;
    const HRESULT hr =
        CoCreateInstance(*clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                         reinterpret_cast<void**>(&object));
    if (object) object->Release();
    if (hr == CLASS_E_CLASSNOTAVAILABLE) missing += std::string(" ") + name;
    else EXPECT_EQ(hr, S_OK) << name;
  }
  return missing;
}

}  // namespace clitest

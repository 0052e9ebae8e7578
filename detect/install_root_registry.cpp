#include "detect/install_root_registry.h"

#include <algorithm>

#include "qxnet/platform.h"
#include "qxnet/registry_key.h"

namespace qx::detect {

namespace {

constexpr const char16_t* kFrameworkKey = u"SOFTWARE\\Microsoft\\.NETFramework";
constexpr const char16_t* kInstallRootValue = u"InstallRoot";

}  // namespace

bool ReadInstallRoot(char16_t* buffer, size_t capacity) {
  if (!buffer || capacity == 0) return false;
  buffer[0] = 0;
  const std::optional<std::u16string> root =
      ReadMachineText(kFrameworkKey, kInstallRootValue, capacity);
  if (!root) return false;
  // A stored text without its terminator may fill the buffer: its last
  // character is cut to make room for the terminator.
  const size_t characters = std::min(root->size(), capacity - 1);
  root->copy(buffer, characters);
  buffer[characters] = 0;
  return true;
}

}  // namespace qx::detect

#include "detect/install_root_registry.h"

#include <limits>

#include "qxnet/platform.h"
#include "qxnet/registry_key.h"

namespace qx::detect {

namespace {

constexpr const char16_t* kFrameworkKey = u"SOFTWARE\\Microsoft\\.NETFramework";
constexpr const char16_t* kInstallRootValue = u"InstallRoot";

}  // namespace

bool ReadInstallRoot(char16_t* buffer, size_t capacity) {
  if (!buffer || capacity == 0) return false;
  if (capacity > std::numeric_limits<DWORD>::max() / sizeof(char16_t)) return false;
  buffer[0] = 0;

  qx::RegistryKey key;
  if (!key.OpenForReading(HKEY_LOCAL_MACHINE, kFrameworkKey)) return false;
  DWORD type = REG_NONE;
  DWORD bytes = static_cast<DWORD>(capacity * sizeof(char16_t));
  const LSTATUS status = RegQueryValueExW(key.Get(), kInstallRootValue, nullptr, &type,
                                          reinterpret_cast<BYTE*>(buffer), &bytes);
  if (status != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ && type != REG_MULTI_SZ)) {
    buffer[0] = 0;
    return false;
  }

  // Stored strings need not carry their terminator (and their byte count may
  // be odd); terminate after the last whole character, cutting the last
  // character when the value filled the buffer.
  const size_t characters = bytes / sizeof(char16_t);
  buffer[characters < capacity ? characters : capacity - 1] = 0;
  return true;
}

}  // namespace qx::detect

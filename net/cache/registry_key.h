// An open registry key, closed when the owner goes.
#pragma once

#include "qxnet/platform.h"

namespace qx::net {

class RegistryKey {
 public:
  RegistryKey() = default;
  ~RegistryKey() {
    if (key_ != nullptr) RegCloseKey(key_);
  }
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;

  // Opens `path` under `root` for reading; false when it cannot be.
  bool OpenForReading(HKEY root, const char16_t* path) {
    return RegOpenKeyExW(root, path, 0, KEY_READ, &key_) == ERROR_SUCCESS;
  }
  HKEY Get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

// The key holding the machine-wide cache settings.
inline constexpr char16_t kCacheSettingsKey[] = u"SOFTWARE\\Corvane\\Corvane\\Internal";

}  // namespace qx::net

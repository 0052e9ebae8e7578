// RegistryKey: owns one open registry key, closed when the owner goes.
// Installed for clients; the project's own code uses the same header.
#pragma once

#include "qxnet/platform.h"

namespace qx {

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
    return RegOpenKeyExW(root, path, 0, KEY_READ, Put()) == ERROR_SUCCESS;
  }
  // For a function that opens or creates a key into an HKEY*; a key held
  // before is closed first.
  HKEY* Put() {
    if (key_ != nullptr) RegCloseKey(key_);
    key_ = nullptr;
    return &key_;
  }
  HKEY Get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

}  // namespace qx

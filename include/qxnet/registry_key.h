// RegistryKey: owns one open registry key, closed when the owner goes.
// ReadMachineText: one text value of the machine's registry.
// Installed for clients; the project's own code uses the same header.
#pragma once

#include <limits>
#include <optional>
#include <string>

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

// The text value `name` of HKEY_LOCAL_MACHINE\`path`, up to its first
// terminator (of a multi-string, its first string). None when the key or the
// value is missing, the value is not text, or its stored form is longer than
// `capacity` characters. A stored text need not carry its terminator.
inline std::optional<std::u16string> ReadMachineText(const char16_t* path, const char16_t* name,
                                                     size_t capacity) {
  if (capacity > std::numeric_limits<DWORD>::max() / sizeof(char16_t)) return std::nullopt;
  RegistryKey key;
  if (!key.OpenForReading(HKEY_LOCAL_MACHINE, path)) return std::nullopt;
  std::u16string text(capacity, u'\0');
  DWORD type = REG_NONE;
  auto size = static_cast<DWORD>(capacity * sizeof(char16_t));
  if (RegQueryValueExW(key.Get(), name, nullptr, &type, reinterpret_cast<BYTE*>(text.data()),
                       &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  if (type != REG_SZ && type != REG_EXPAND_SZ && type != REG_MULTI_SZ) return std::nullopt;
  text.resize(size / sizeof(char16_t));
  if (const size_t end = text.find(u'\0'); end != std::u16string::npos) text.resize(end);
  return text;
}

}  // namespace qx

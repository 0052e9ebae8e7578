// Text forms of registry keys and typed values for `qxnet reg`.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "qxnet/platform.h"

namespace qxcli {

// "HKCU\Software\Corvane" (or with '/' separators, or the long root names
// HKEY_CURRENT_USER, ...): the root handle and the subkey path with '\'
// separators. Throws UsageError for an unknown root.
struct KeyPath {
  HKEY root = nullptr;
  std::string root_name;  // canonical short name: HKCR, HKCU, HKLM
  std::string subkey;     // may be empty (the root itself)
  std::string Text() const { return subkey.empty() ? root_name : root_name + "\\" + subkey; }
};
KeyPath ParseKeyPath(const std::string& text);

// REG_SZ <-> 1 ...; throws UsageError for an unknown name.
DWORD ValueTypeFromName(const std::string& name);
std::string ValueTypeName(DWORD type);

// The stored bytes of a value of `type` from its command-line data (one
// entry per --data; several only for REG_MULTI_SZ). Numbers accept decimal
// and 0x-hex; binary data is hex digits, optionally separated by blanks,
// commas or colons. Throws UsageError when the data do not fit the type.
std::vector<BYTE> EncodeValue(DWORD type, const std::vector<std::string>& data);

// The value's data as text (for the table) and as JSON (strings, a list for
// REG_MULTI_SZ, numbers for REG_DWORD/REG_QWORD, hex text for the rest).
std::string ValueText(DWORD type, const std::vector<BYTE>& bytes);
nlohmann::json ValueJson(DWORD type, const std::vector<BYTE>& bytes);

// The message for a registry status code ("The key or value does not exist").
std::string RegistryStatusText(LSTATUS status);

}  // namespace qxcli

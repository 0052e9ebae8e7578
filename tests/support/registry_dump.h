// Registry content of the tests: a subtree read into a sorted text form,
// for comparing before and after an operation, and single keys and values
// written and read.
#pragma once

#include <map>
#include <optional>
#include <string>

#include "qxnet/platform.h"

namespace qxtest {

// "key path" -> "value name=type:data" lines, for every key under root\path.
std::map<std::u16string, std::u16string> DumpRegistry(HKEY root, const std::u16string& path);

// The string value `name` ("" for the default value) of root\path, if any.
std::optional<std::u16string> ReadRegistryString(HKEY root, const std::u16string& path,
                                                 const std::u16string& name);

bool RegistryKeyExists(HKEY root, const std::u16string& path);

// The product's settings key under HKEY_LOCAL_MACHINE.
inline constexpr char16_t kProductKey[] = u"SOFTWARE\\Corvane\\Corvane\\Internal";

// Creates root\path with its parents.
void CreateRegistryKey(HKEY root, const std::u16string& path);
// Writes `size` bytes as value `name` of root\path, creating the key.
void WriteRegistryValue(HKEY root, const std::u16string& path, const std::u16string& name,
                        DWORD type, const void* data, size_t size);
// Writes a text value with its terminator.
void WriteRegistryString(HKEY root, const std::u16string& path, const std::u16string& name,
                         std::u16string text, DWORD type = REG_SZ);

// The registry form of a GUID, "{XXXXXXXX-...}".
std::u16string GuidText(const GUID& guid);

}  // namespace qxtest

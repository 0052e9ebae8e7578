// Reads a registry subtree into a sorted text form, for comparing registry
// content before and after an operation.
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

// The registry form of a GUID, "{XXXXXXXX-...}".
std::u16string GuidText(const GUID& guid);

}  // namespace qxtest

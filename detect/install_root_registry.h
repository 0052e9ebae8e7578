// The runtime's install root as recorded in the registry store: the value
// "InstallRoot" under HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\.NETFramework.
#pragma once

#include <cstddef>

namespace qx::detect {

// Reads the value into `buffer` (`capacity` characters). Only string values
// (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ) count; any other type, a missing key
// or value, or a value longer than the buffer is a failure. The text is
// always terminated inside the buffer: a value that fills it completely
// without its own terminator loses its last character. For REG_MULTI_SZ the
// first string is the one read. Returns whether the value was read.
bool ReadInstallRoot(char16_t* buffer, size_t capacity);

}  // namespace qx::detect

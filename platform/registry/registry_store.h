// A small C++ interface to the registry for the project's own code (the
// class registry, the command line's "reg" commands, settings lookups).
// Keys are named by a base key (a predefined root or an open handle) and a
// relative path "A\B\C"; an empty path names the base key itself. Every
// function answers a registry status code (ERROR_SUCCESS, ERROR_FILE_NOT_FOUND,
// ERROR_BADDB, ...).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "qxnet/platform.h"

#ifndef ERROR_UNSUPPORTED_TYPE
#define ERROR_UNSUPPORTED_TYPE 1630
#endif

namespace qx::registry {

struct NamedValue {
  std::u16string name;
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
};

bool KeyExists(HKEY base, std::u16string_view path);

LSTATUS ReadValue(HKEY base, std::u16string_view path, std::u16string_view name, NamedValue& out);
// REG_SZ or REG_EXPAND_SZ text, up to its terminator (no expansion);
// ERROR_UNSUPPORTED_TYPE for values of other types.
LSTATUS ReadString(HKEY base, std::u16string_view path, std::u16string_view name,
                   std::u16string& out);
// A REG_DWORD; ERROR_UNSUPPORTED_TYPE for values of other types.
LSTATUS ReadDword(HKEY base, std::u16string_view path, std::u16string_view name, DWORD& out);

// The writers create the key (and its parents) when missing.
LSTATUS WriteValue(HKEY base, std::u16string_view path, std::u16string_view name, DWORD type,
                   const void* data, size_t size);
// Stores `text` with its terminator, as REG_SZ or REG_EXPAND_SZ.
LSTATUS WriteString(HKEY base, std::u16string_view path, std::u16string_view name,
                    std::u16string_view text, DWORD type = REG_SZ);
LSTATUS WriteDword(HKEY base, std::u16string_view path, std::u16string_view name, DWORD value);

LSTATUS DeleteValue(HKEY base, std::u16string_view path, std::u16string_view name);
// Deletes the key with its subtree; an empty path clears the base key's
// values and subkeys but keeps the key.
LSTATUS DeleteTree(HKEY base, std::u16string_view path);

LSTATUS ListSubkeys(HKEY base, std::u16string_view path, std::vector<std::u16string>& names);
LSTATUS ListValues(HKEY base, std::u16string_view path, std::vector<NamedValue>& values);

// "HKCR" / "HKEY_CLASSES_ROOT", "HKCU" / "HKEY_CURRENT_USER",
// "HKLM" / "HKEY_LOCAL_MACHINE", in any case.
bool ParseRootName(std::u16string_view name, HKEY& root);
// The long name of a predefined root ("HKEY_CLASSES_ROOT"); empty otherwise.
std::u16string RootName(HKEY root);

// Text of a REG_SZ/REG_EXPAND_SZ payload up to its first terminator, and the
// strings of a REG_MULTI_SZ payload.
std::u16string StringFromValueData(const std::vector<BYTE>& data);
std::vector<std::u16string> StringsFromMultiStringData(const std::vector<BYTE>& data);

// The file the registry lives in.
std::string StoreLocation();

}  // namespace qx::registry

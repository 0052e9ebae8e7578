// Helpers shared by the registry tests.
#pragma once

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "platform/registry/registry_store.h"
#include "qxnet/platform.h"
#include "qxnet/text.h"
#include "tests/support/files.h"

namespace regtest {

inline std::vector<BYTE> StringData(std::u16string_view text) {
  std::vector<BYTE> data((text.size() + 1) * sizeof(char16_t), 0);
  std::memcpy(data.data(), text.data(), text.size() * sizeof(char16_t));
  return data;
}

// A readable listing of a key's subtree: one line per key and per value.
inline void DumpInto(HKEY root, const std::u16string& path, std::ostringstream& out) {
  std::vector<qx::registry::NamedValue> values;
  std::vector<std::u16string> subkeys;
  if (qx::registry::ListValues(root, path, values) != ERROR_SUCCESS) return;
  qx::registry::ListSubkeys(root, path, subkeys);
  out << "[" << qx::Utf16ToUtf8(path) << "]\n";
  for (const auto& value : values) {
    out << "  " << qx::Utf16ToUtf8(value.name) << " type=" << value.type << " data=";
    for (BYTE b : value.data) out << static_cast<int>(b) << ',';
    out << "\n";
  }
  for (const auto& subkey : subkeys)
    DumpInto(root, path.empty() ? subkey : path + u"\\" + subkey, out);
}

inline std::string Dump(HKEY root, const std::u16string& path = u"") {
  std::ostringstream out;
  DumpInto(root, path, out);
  return out.str();
}

using qxtest::ReadFile;
using qxtest::WriteFile;

inline std::u16string ReadStringOrEmpty(HKEY root, std::u16string_view path,
                                        std::u16string_view name = u"") {
  std::u16string text;
  if (qx::registry::ReadString(root, path, name, text) != ERROR_SUCCESS) return u"<missing>";
  return text;
}

}  // namespace regtest

// Helpers shared by the registry tests.
#pragma once

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "platform/registry/registry_store.h"
#include "qxnet/platform.h"
#include "qxnet/text.h"
#include "tests/support/files.h"
#include "tests/support/registry_dump.h"

namespace regtest {

inline std::vector<BYTE> StringData(std::u16string_view text) {
  std::vector<BYTE> data((text.size() + 1) * sizeof(char16_t), 0);
  std::memcpy(data.data(), text.data(), text.size() * sizeof(char16_t));
  return data;
}

// Every key below root\path with its values: key path -> value lines.
using Listing = std::map<std::u16string, std::u16string>;
inline Listing Dump(HKEY root, const std::u16string& path = u"") {
  return qxtest::DumpRegistry(root, path);
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

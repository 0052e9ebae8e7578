#include "tests/support/registry_dump.h"

#include <gtest/gtest.h>

#include <vector>

namespace qxtest {

namespace {

void DumpKey(HKEY key, const std::u16string& path, std::map<std::u16string, std::u16string>& out) {
  std::u16string values;
  for (DWORD index = 0;; ++index) {
    char16_t name[512];
    DWORD nameLength = 512;
    DWORD type = 0;
    std::vector<BYTE> data(8192);
    DWORD size = static_cast<DWORD>(data.size());
    const LONG status =
        RegEnumValueW(key, index, name, &nameLength, nullptr, &type, data.data(), &size);
    if (status == ERROR_NO_MORE_ITEMS) break;
    // A value the buffer cannot hold must not end the listing unseen: the
    // values after it would drop out of every before/after comparison.
    if (status != ERROR_SUCCESS) {
      ADD_FAILURE() << "registry value " << index << " of a key could not be read: " << status;
      break;
    }
    values += std::u16string(name, nameLength) + u"=" + char16_t(u'0' + type) + u":";
    for (DWORD i = 0; i + 1 < size; i += 2)
      values.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    values += u"\n";
  }
  out[path] = values;
  for (DWORD index = 0;; ++index) {
    char16_t name[512];
    DWORD nameLength = 512;
    const LONG status =
        RegEnumKeyExW(key, index, name, &nameLength, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status != ERROR_SUCCESS) {
      ADD_FAILURE() << "subkey " << index << " of a key could not be read: " << status;
      break;
    }
    std::u16string child(name, nameLength);
    HKEY sub = nullptr;
    if (RegOpenKeyExW(key, child.c_str(), 0, KEY_READ, &sub) == ERROR_SUCCESS) {
      DumpKey(sub, path + u"\\" + child, out);
      RegCloseKey(sub);
    }
  }
}

}  // namespace

std::map<std::u16string, std::u16string> DumpRegistry(HKEY root, const std::u16string& path) {
  std::map<std::u16string, std::u16string> out;
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return out;
  DumpKey(key, path, out);
  RegCloseKey(key);
  return out;
}

std::optional<std::u16string> ReadRegistryString(HKEY root, const std::u16string& path,
                                                 const std::u16string& name) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return std::nullopt;
  char16_t buffer[1024] = {};
  DWORD size = sizeof(buffer) - 2;
  DWORD type = 0;
  LSTATUS status =
      RegQueryValueExW(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return std::nullopt;
  std::u16string text(buffer, size / 2);
  while (!text.empty() && text.back() == u'\0') text.pop_back();
  return text;
}

bool RegistryKeyExists(HKEY root, const std::u16string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

void CreateRegistryKey(HKEY root, const std::u16string& path) {
  HKEY key = nullptr;
  ASSERT_EQ(
      RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
      ERROR_SUCCESS);
  RegCloseKey(key);
}

void WriteRegistryValue(HKEY root, const std::u16string& path, const std::u16string& name,
                        DWORD type, const void* data, size_t size) {
  HKEY key = nullptr;
  ASSERT_EQ(
      RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
      ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExW(key, name.c_str(), 0, type, static_cast<const BYTE*>(data),
                           static_cast<DWORD>(size)),
            ERROR_SUCCESS);
  RegCloseKey(key);
}

void WriteRegistryString(HKEY root, const std::u16string& path, const std::u16string& name,
                         std::u16string text, DWORD type) {
  text.push_back(u'\0');
  WriteRegistryValue(root, path, name, type, text.data(), text.size() * sizeof(char16_t));
}

std::u16string GuidText(const GUID& guid) {
  OLECHAR text[40] = {};
  StringFromGUID2(guid, text, 40);
  return text;
}

}  // namespace qxtest

// The exported registry functions: keys, typed values, deletion,
// enumeration and handle checks.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/registry/registry_test_util.h"

namespace {

using regtest::StringData;

class RegistryApiTest : public ::testing::Test {
 protected:
  void TearDown() override {
    for (HKEY key : opened_) RegCloseKey(key);
  }
  HKEY Create(HKEY base, const char16_t* path, DWORD* disposition = nullptr) {
    HKEY key = nullptr;
    EXPECT_EQ(
        RegCreateKeyExW(base, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, disposition),
        ERROR_SUCCESS);
    if (key) opened_.push_back(key);
    return key;
  }
  LSTATUS Open(HKEY base, const char16_t* path, HKEY* key) {
    const LSTATUS status = RegOpenKeyExW(base, path, 0, KEY_READ, key);
    if (status == ERROR_SUCCESS) opened_.push_back(*key);
    return status;
  }
  std::vector<HKEY> opened_;
};

TEST_F(RegistryApiTest, CreateMakesParentsAndKeysCompareWithoutCase) {
  DWORD disposition = 0;
  HKEY key = Create(HKEY_CURRENT_USER, u"Software\\Corvane\\Settings", &disposition);
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
  Create(HKEY_CURRENT_USER, u"SOFTWARE\\corvane\\SETTINGS", &disposition);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));

  HKEY opened = nullptr;
  EXPECT_EQ(Open(HKEY_CURRENT_USER, u"software\\CORVANE", &opened), ERROR_SUCCESS);
  // Display case is the case of the first creation.
  std::vector<std::u16string> names;
  ASSERT_EQ(qx::registry::ListSubkeys(HKEY_CURRENT_USER, u"Software", names), ERROR_SUCCESS);
  EXPECT_EQ(names, std::vector<std::u16string>{u"Corvane"});

  // Relative opening from an open key, and a trailing backslash.
  HKEY child = nullptr;
  EXPECT_EQ(Open(opened, u"settings\\", &child), ERROR_SUCCESS);
}

TEST_F(RegistryApiTest, NonAsciiNamesFoldSimpleCaseAndStayIntact) {
  Create(HKEY_CURRENT_USER, u"Ünïcødé Ключ");
  HKEY key = nullptr;
  EXPECT_EQ(Open(HKEY_CURRENT_USER, u"üNÏCØDÉ кЛЮЧ", &key), ERROR_SUCCESS);
  Create(HKEY_CURRENT_USER, u"日本語\U0001F600");
  std::vector<std::u16string> names;
  ASSERT_EQ(qx::registry::ListSubkeys(HKEY_CURRENT_USER, u"", names), ERROR_SUCCESS);
  EXPECT_NE(std::find(names.begin(), names.end(), u"日本語\U0001F600"), names.end());
  EXPECT_NE(std::find(names.begin(), names.end(), u"Ünïcødé Ключ"), names.end());
}

TEST_F(RegistryApiTest, ValuesAreTypedAndNamesCompareWithoutCase) {
  HKEY key = Create(HKEY_CURRENT_USER, u"Values");
  const auto text = StringData(u"Hello");
  ASSERT_EQ(RegSetValueExW(key, u"Greeting", 0, REG_SZ, text.data(), text.size()), ERROR_SUCCESS);
  const DWORD number = 0xDEADBEEF;
  ASSERT_EQ(RegSetValueExW(key, u"Number", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), 4),
            ERROR_SUCCESS);
  const auto fallback = StringData(u"default");
  ASSERT_EQ(RegSetValueExW(key, nullptr, 0, REG_SZ, fallback.data(), fallback.size()),
            ERROR_SUCCESS);
  const char16_t multi[] = u"one\0two\0";
  ASSERT_EQ(RegSetValueExW(key, u"List", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(multi),
                           sizeof(multi)),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExW(key, u"Empty", 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);

  // Size query, then a read through a different-case name.
  DWORD type = 0, size = 0;
  ASSERT_EQ(RegQueryValueExW(key, u"GREETING", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(size, text.size());
  std::vector<BYTE> buffer(size);
  ASSERT_EQ(RegQueryValueExW(key, u"greeting", nullptr, &type, buffer.data(), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(buffer, text);

  // A small buffer: ERROR_MORE_DATA with the needed size and the type.
  BYTE small[4];
  size = sizeof(small);
  type = 0;
  EXPECT_EQ(RegQueryValueExW(key, u"Greeting", nullptr, &type, small, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, text.size());
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));

  // The default value answers to a null and to an empty name.
  std::u16string text_out;
  EXPECT_EQ(qx::registry::ReadString(key, u"", u"", text_out), ERROR_SUCCESS);
  EXPECT_EQ(text_out, u"default");

  std::vector<qx::registry::NamedValue> values;
  ASSERT_EQ(qx::registry::ListValues(key, u"", values), ERROR_SUCCESS);
  ASSERT_EQ(values.size(), 5u);
  EXPECT_EQ(qx::registry::StringsFromMultiStringData(values[3].data),
            (std::vector<std::u16string>{u"one", u"two"}));
  EXPECT_TRUE(values[1].data.empty());

  // Reading a value as the wrong type is refused by the typed readers.
  EXPECT_EQ(qx::registry::ReadString(key, u"", u"Number", text_out), ERROR_UNSUPPORTED_TYPE);
  DWORD dword = 0;
  EXPECT_EQ(qx::registry::ReadDword(key, u"", u"Greeting", dword), ERROR_UNSUPPORTED_TYPE);
  // A DWORD must be four bytes.
  EXPECT_EQ(RegSetValueExW(key, u"Bad", 0, REG_DWORD, text.data(), text.size()),
            ERROR_INVALID_PARAMETER);

  // Overwriting through another case changes type and data, keeps the name.
  ASSERT_EQ(RegSetValueExW(key, u"NUMBER", 0, REG_SZ, text.data(), text.size()), ERROR_SUCCESS);
  ASSERT_EQ(qx::registry::ListValues(key, u"", values), ERROR_SUCCESS);
  ASSERT_EQ(values.size(), 5u);
  EXPECT_EQ(values[4].name, u"Number");
  EXPECT_EQ(values[4].type, static_cast<DWORD>(REG_SZ));

  EXPECT_EQ(RegDeleteValueW(key, u"nUmBeR"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteValueW(key, u"Number"), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryApiTest, DeleteTreeRemovesOnlyTheSubtree) {
  HKEY top = Create(HKEY_CLASSES_ROOT, u"Top");
  for (const char16_t* path : {u"Top\\B\\C\\D", u"Top\\B2", u"Top\\B!x", u"Top\\B]", u"Top\\A"})
    Create(HKEY_CLASSES_ROOT, path);
  ASSERT_EQ(qx::registry::WriteString(HKEY_CLASSES_ROOT, u"Top\\B\\C", u"v", u"x"), ERROR_SUCCESS);
  ASSERT_EQ(qx::registry::WriteString(HKEY_CLASSES_ROOT, u"Top\\B2", u"v", u"kept"), ERROR_SUCCESS);

  EXPECT_EQ(RegDeleteTreeW(top, u"b"), ERROR_SUCCESS);
  EXPECT_FALSE(qx::registry::KeyExists(HKEY_CLASSES_ROOT, u"Top\\B"));
  EXPECT_FALSE(qx::registry::KeyExists(HKEY_CLASSES_ROOT, u"Top\\B\\C\\D"));
  std::vector<std::u16string> names;
  ASSERT_EQ(qx::registry::ListSubkeys(HKEY_CLASSES_ROOT, u"Top", names), ERROR_SUCCESS);
  EXPECT_EQ(names, (std::vector<std::u16string>{u"A", u"B!x", u"B2", u"B]"}));
  EXPECT_EQ(regtest::ReadStringOrEmpty(HKEY_CLASSES_ROOT, u"Top\\B2", u"v"), u"kept");
  // Recreating the deleted key finds no left-over values.
  Create(HKEY_CLASSES_ROOT, u"Top\\B\\C");
  std::vector<qx::registry::NamedValue> values;
  ASSERT_EQ(qx::registry::ListValues(HKEY_CLASSES_ROOT, u"Top\\B\\C", values), ERROR_SUCCESS);
  EXPECT_TRUE(values.empty());

  EXPECT_EQ(RegDeleteTreeW(top, u"Missing"), ERROR_FILE_NOT_FOUND);

  // Without a subkey the key is emptied but kept.
  ASSERT_EQ(qx::registry::WriteString(HKEY_CLASSES_ROOT, u"Top", u"own", u"x"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteTreeW(top, nullptr), ERROR_SUCCESS);
  EXPECT_TRUE(qx::registry::KeyExists(HKEY_CLASSES_ROOT, u"Top"));
  EXPECT_EQ(regtest::Dump(HKEY_CLASSES_ROOT, u"Top"), (regtest::Listing{{u"Top", u""}}));

  // A handle whose key was deleted reports so.
  HKEY doomed = Create(HKEY_CLASSES_ROOT, u"Top\\Doomed");
  ASSERT_EQ(RegDeleteTreeW(HKEY_CLASSES_ROOT, u"Top\\Doomed"), ERROR_SUCCESS);
  const auto text = StringData(u"x");
  EXPECT_EQ(RegSetValueExW(doomed, u"v", 0, REG_SZ, text.data(), text.size()), ERROR_KEY_DELETED);
}

TEST_F(RegistryApiTest, EnumerationIsOrderedAndEndsWithNoMoreItems) {
  HKEY key = Create(HKEY_LOCAL_MACHINE, u"Enum");
  for (const char16_t* name : {u"charlie", u"Bravo", u"ALPHA", u"a-long-subkey-name"})
    Create(key, name);
  std::vector<std::u16string> seen;
  for (DWORD index = 0;; ++index) {
    char16_t name[64];
    DWORD count = 64;
    const LSTATUS status =
        RegEnumKeyExW(key, index, name, &count, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) break;
    ASSERT_EQ(status, ERROR_SUCCESS);
    EXPECT_EQ(count, std::char_traits<char16_t>::length(name));
    seen.emplace_back(name, count);
  }
  EXPECT_EQ(seen,
            (std::vector<std::u16string>{u"a-long-subkey-name", u"ALPHA", u"Bravo", u"charlie"}));
  char16_t tiny[4];
  DWORD tiny_count = 4;
  EXPECT_EQ(RegEnumKeyExW(key, 0, tiny, &tiny_count, nullptr, nullptr, nullptr, nullptr),
            ERROR_MORE_DATA);

  ASSERT_EQ(qx::registry::WriteDword(key, u"", u"Second", 2), ERROR_SUCCESS);
  ASSERT_EQ(qx::registry::WriteDword(key, u"", u"first", 1), ERROR_SUCCESS);
  char16_t name[16];
  DWORD count = 16, type = 0, data = 0, size = 4;
  ASSERT_EQ(
      RegEnumValueW(key, 0, name, &count, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size),
      ERROR_SUCCESS);
  EXPECT_EQ(std::u16string(name), u"first");
  EXPECT_EQ(data, 1u);
  count = 16;
  size = 0;
  EXPECT_EQ(
      RegEnumValueW(key, 1, name, &count, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size),
      ERROR_MORE_DATA);
  EXPECT_EQ(size, 4u);
  count = 16;
  EXPECT_EQ(RegEnumValueW(key, 2, name, &count, nullptr, nullptr, nullptr, nullptr),
            ERROR_NO_MORE_ITEMS);
}

TEST_F(RegistryApiTest, BadHandlesPathsAndPointersAreRefused) {
  HKEY key = nullptr;
  ASSERT_EQ(
      RegCreateKeyExW(HKEY_CURRENT_USER, u"Handles", 0, nullptr, 0, 0, nullptr, &key, nullptr),
      ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegQueryValueExW(key, u"x", nullptr, nullptr, nullptr, nullptr), ERROR_INVALID_HANDLE);
  HKEY out = nullptr;
  EXPECT_EQ(RegOpenKeyExW(reinterpret_cast<HKEY>(0x80000005u), u"x", 0, 0, &out),
            ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(HKEY_CLASSES_ROOT), ERROR_SUCCESS);

  EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Handles", 0, 0, nullptr), ERROR_INVALID_PARAMETER);
  BYTE data[4];
  EXPECT_EQ(RegQueryValueExW(HKEY_CURRENT_USER, u"x", nullptr, nullptr, data, nullptr),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegSetValueExW(HKEY_CURRENT_USER, u"x", 0, REG_BINARY, nullptr, 3),
            ERROR_INVALID_PARAMETER);

  const std::u16string too_long(256, u'k');
  for (const char16_t* bad : {static_cast<const char16_t*>(nullptr), u"\\Leading",
                              u"Double\\\\Slash", u"Trailing\\\\", too_long.c_str()}) {
    EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, bad, 0, nullptr, 0, 0, nullptr, &out, nullptr),
              ERROR_INVALID_PARAMETER);
  }
  EXPECT_EQ(out, nullptr);
}

TEST(RegistryStoreLocation, ReadsDoNotCreateTheDatabaseAndWritesCreateFolders) {
  const std::string root = std::getenv("QXNET_REGISTRY");
  const std::string nested = root + ".d/deeper/registry.db";
  setenv("QXNET_REGISTRY", nested.c_str(), 1);
  EXPECT_FALSE(qx::registry::KeyExists(HKEY_CLASSES_ROOT, u"Anything"));
  EXPECT_TRUE(regtest::ReadFile(nested).empty());
  EXPECT_EQ(qx::registry::WriteDword(HKEY_CURRENT_USER, u"K", u"v", 7), ERROR_SUCCESS);
  EXPECT_FALSE(regtest::ReadFile(nested).empty());
  EXPECT_EQ(qx::registry::StoreLocation(), nested);

  unsetenv("QXNET_REGISTRY");
  setenv("XDG_CONFIG_HOME", "/some/config", 1);
  EXPECT_EQ(qx::registry::StoreLocation(), "/some/config/corvane/registry.db");
  unsetenv("XDG_CONFIG_HOME");
  setenv("HOME", "/home/someone", 1);
  EXPECT_EQ(qx::registry::StoreLocation(), "/home/someone/.config/corvane/registry.db");
}

}  // namespace

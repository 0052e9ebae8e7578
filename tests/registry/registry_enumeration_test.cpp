// Enumeration by index over keys with thousands of entries, in the merged
// classes view: every entry once, in order, whatever the order of the
// indexes asked for.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "platform/registry/key_path.h"
#include "platform/registry/registry_store.h"
#include "qxnet/text.h"

namespace {

constexpr int kEntries = 3000;

std::u16string Name(const char* prefix, int number) {
  char text[32];
  std::snprintf(text, sizeof text, "%s%05d", prefix, number);
  return qx::Utf8ToUtf16(text);
}

// Subkeys: the user's classes hold the even numbers, the machine's every
// third one (in other letter case, so that both hold some keys), both
// under Many. Values: one per number in the user's key, and the default.
void Fill() {
  const std::u16string many = u"Software\\Classes\\Many";
  int failures = 0;
  const auto write = [&failures](HKEY root, const std::u16string& path, const std::u16string& name,
                                 DWORD value) {
    failures += qx::registry::WriteDword(root, path, name, value) != ERROR_SUCCESS;
  };
  ASSERT_EQ(QxRegBeginTransaction(), ERROR_SUCCESS);
  for (int i = 0; i < kEntries; ++i) {
    if (i % 2 == 0) write(HKEY_CURRENT_USER, many + u"\\" + Name("key", i), u"", 1);
    if (i % 3 == 0) write(HKEY_LOCAL_MACHINE, many + u"\\" + Name("KEY", i), u"", 1);
    write(HKEY_CURRENT_USER, many, Name("value", i), static_cast<DWORD>(i));
  }
  write(HKEY_CURRENT_USER, many, u"", 7);
  ASSERT_EQ(QxRegCommitTransaction(), ERROR_SUCCESS);
  ASSERT_EQ(failures, 0);
}

std::vector<std::u16string> ExpectedSubkeys() {
  std::map<std::u16string, std::u16string> byFolded;
  for (int i = 0; i < kEntries; ++i) {
    if (i % 2 == 0) byFolded.emplace(qx::registry::FoldCase(Name("key", i)), Name("key", i));
    if (i % 3 == 0) byFolded.emplace(qx::registry::FoldCase(Name("KEY", i)), Name("KEY", i));
  }
  std::vector<std::u16string> names;
  for (const auto& entry : byFolded) names.push_back(entry.second);
  return names;
}

std::u16string SubkeyAt(HKEY key, DWORD index, LSTATUS& status) {
  char16_t name[64];
  DWORD count = 64;
  status = RegEnumKeyExW(key, index, name, &count, nullptr, nullptr, nullptr, nullptr);
  return status == ERROR_SUCCESS ? std::u16string(name, count) : std::u16string();
}

TEST(RegistryEnumeration, EveryKeyAndValueOnceInOrderAtThousandsOfEntries) {
  Fill();
  HKEY many = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"Many", 0, KEY_READ, &many), ERROR_SUCCESS);

  const std::vector<std::u16string> expected = ExpectedSubkeys();
  std::vector<std::u16string> seen;
  LSTATUS status = ERROR_SUCCESS;
  for (DWORD index = 0;; ++index) {
    std::u16string name = SubkeyAt(many, index, status);
    if (status != ERROR_SUCCESS) break;
    seen.push_back(std::move(name));
  }
  EXPECT_EQ(status, ERROR_NO_MORE_ITEMS);
  EXPECT_EQ(seen, expected);  // the user's spelling wins where both hold a key

  // Indexes asked for out of order, and the same one twice.
  for (const DWORD index : {DWORD{10}, DWORD{10}, DWORD{4}, DWORD{1999}, DWORD{0}, DWORD{11}}) {
    EXPECT_EQ(SubkeyAt(many, index, status), expected[index]) << index;
  }
  SubkeyAt(many, static_cast<DWORD>(expected.size()), status);
  EXPECT_EQ(status, ERROR_NO_MORE_ITEMS);

  // Values: the default value (empty name) first, then by name.
  std::vector<std::u16string> values;
  for (DWORD index = 0;; ++index) {
    char16_t name[64];
    DWORD count = 64;
    status = RegEnumValueW(many, index, name, &count, nullptr, nullptr, nullptr, nullptr);
    if (status != ERROR_SUCCESS) break;
    values.emplace_back(name, count);
  }
  EXPECT_EQ(status, ERROR_NO_MORE_ITEMS);
  ASSERT_EQ(values.size(), static_cast<size_t>(kEntries) + 1);
  EXPECT_EQ(values.front(), u"");
  EXPECT_TRUE(std::is_sorted(values.begin(), values.end()));
  EXPECT_EQ(values.back(), Name("value", kEntries - 1));
  RegCloseKey(many);
}

}  // namespace

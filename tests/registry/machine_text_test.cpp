// ReadMachineText: a text value of the machine's registry as stored by any
// writer, with or without its terminator, and the values it refuses.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "qxnet/registry_key.h"

namespace {

constexpr char16_t kKey[] = u"SOFTWARE\\QXNetTest\\MachineText";
constexpr char16_t kValue[] = u"Value";

void StoreValue(DWORD type, std::u16string_view text, DWORD extra_bytes = 0) {
  qx::RegistryKey key;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            key.Put(), nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExW(key.Get(), kValue, 0, type, reinterpret_cast<const BYTE*>(text.data()),
                           static_cast<DWORD>(text.size() * sizeof(char16_t)) + extra_bytes),
            ERROR_SUCCESS);
}

TEST(MachineText, ReadsTextsAsStoredAndRefusesTheRest) {
  using namespace std::string_view_literals;
  struct Case {
    const char* what;
    DWORD type;
    std::u16string_view stored;
    DWORD extra_bytes;
    size_t capacity;
    std::optional<std::u16string> expected;
  } cases[] = {
      {"terminated", REG_SZ, u"abc\0"sv, 0, 8, u"abc"},
      {"unterminated", REG_SZ, u"abc"sv, 0, 8, u"abc"},
      {"odd byte count", REG_SZ, u"abc"sv, 1, 8, u"abc"},
      {"expandable", REG_EXPAND_SZ, u"%HOME%\0"sv, 0, 8, u"%HOME%"},
      {"multi-string: its first", REG_MULTI_SZ, u"one\0two\0\0"sv, 0, 16, u"one"},
      {"fills the capacity", REG_SZ, u"abcdefgh"sv, 0, 8, u"abcdefgh"},
      {"terminator past the capacity", REG_SZ, u"abcdefgh\0"sv, 0, 8, std::nullopt},
      {"a number", REG_DWORD, u"\x1234\x5678"sv, 0, 8, std::nullopt},
      {"bytes", REG_BINARY, u"abc\0"sv, 0, 8, std::nullopt},
  };
  for (const Case& c : cases) {
    StoreValue(c.type, c.stored, c.extra_bytes);
    EXPECT_EQ(qx::ReadMachineText(kKey, kValue, c.capacity), c.expected) << c.what;
  }
  EXPECT_EQ(qx::ReadMachineText(kKey, u"Missing", 8), std::nullopt);
  EXPECT_EQ(qx::ReadMachineText(u"SOFTWARE\\QXNetTest\\Missing", kValue, 8), std::nullopt);
}

}  // namespace

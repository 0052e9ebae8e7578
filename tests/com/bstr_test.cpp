// Automation strings: layout, lengths, embedded zeros and allocation limits.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "qxnet/platform.h"

namespace {

uint32_t StoredByteLength(BSTR s) {
  uint32_t n;
  std::memcpy(&n, reinterpret_cast<const char*>(s) - 4, sizeof n);
  return n;
}

TEST(Bstr, LengthPrefixAndTerminator) {
  BSTR s = SysAllocString(u"hello");
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(StoredByteLength(s), 10u);
  EXPECT_EQ(SysStringLen(s), 5u);
  EXPECT_EQ(SysStringByteLen(s), 10u);
  EXPECT_EQ(s[5], u'\0');
  EXPECT_EQ(std::u16string(s), u"hello");
  SysFreeString(s);

  BSTR empty = SysAllocString(u"");
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(SysStringLen(empty), 0u);
  EXPECT_EQ(empty[0], u'\0');
  SysFreeString(empty);
}

TEST(Bstr, NullInputsAndNullStrings) {
  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  EXPECT_EQ(SysStringByteLen(nullptr), 0u);
  SysFreeString(nullptr);
}

TEST(Bstr, EmbeddedZerosAreKept) {
  const char16_t text[] = {u'a', 0, u'b', 0, u'c'};
  BSTR s = SysAllocStringLen(text, 5);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(SysStringLen(s), 5u);
  EXPECT_EQ(std::u16string(s, 5), std::u16string(text, 5));
  EXPECT_EQ(s[5], u'\0');
  SysFreeString(s);
}

TEST(Bstr, LengthWithoutSourceIsZeroFilled) {
  BSTR s = SysAllocStringLen(nullptr, 8);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(SysStringLen(s), 8u);
  for (int i = 0; i <= 8; ++i) EXPECT_EQ(s[i], u'\0') << i;
  SysFreeString(s);
}

TEST(Bstr, ByteLengthStringsIncludingOddLengths) {
  BSTR s = SysAllocStringByteLen("abc", 3);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(SysStringByteLen(s), 3u);
  EXPECT_EQ(SysStringLen(s), 1u);
  const char* bytes = reinterpret_cast<const char*>(s);
  EXPECT_EQ(std::string(bytes, 3), "abc");
  // Two zero bytes follow the data.
  EXPECT_EQ(bytes[3], 0);
  EXPECT_EQ(bytes[4], 0);
  SysFreeString(s);

  BSTR zeroed = SysAllocStringByteLen(nullptr, 5);
  ASSERT_NE(zeroed, nullptr);
  EXPECT_EQ(SysStringByteLen(zeroed), 5u);
  for (int i = 0; i < 7; ++i) EXPECT_EQ(reinterpret_cast<const char*>(zeroed)[i], 0);
  SysFreeString(zeroed);
}

TEST(Bstr, HugeLengthsFailInsteadOfOverflowing) {
  EXPECT_EQ(SysAllocStringLen(nullptr, 0xFFFFFFFFu), nullptr);
  EXPECT_EQ(SysAllocStringLen(nullptr, 0x80000000u), nullptr);
  EXPECT_EQ(SysAllocStringByteLen(nullptr, 0xFFFFFFFFu), nullptr);
  EXPECT_EQ(SysAllocStringByteLen(nullptr, 0xFFFFFFFCu), nullptr);
}

TEST(Bstr, ReAllocReplacesAndAcceptsItsOwnText) {
  BSTR s = SysAllocString(u"first value");
  ASSERT_TRUE(SysReAllocString(&s, u"second"));
  EXPECT_EQ(std::u16string(s, SysStringLen(s)), u"second");
  // The new text may be part of the old string.
  ASSERT_TRUE(SysReAllocString(&s, s + 3));
  EXPECT_EQ(std::u16string(s, SysStringLen(s)), u"ond");
  EXPECT_FALSE(SysReAllocString(nullptr, u"x"));
  SysFreeString(s);
}

}  // namespace

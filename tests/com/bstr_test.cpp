// Automation strings: layout, lengths, embedded zeros and allocation limits.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "qxnet/platform.h"

namespace {

TEST(Bstr, LengthPrefixTerminatorAndNullStrings) {
  BSTR s = SysAllocString(u"hello");
  ASSERT_NE(s, nullptr);
  uint32_t prefix;
  std::memcpy(&prefix, reinterpret_cast<const char*>(s) - 4, sizeof prefix);
  EXPECT_EQ(prefix, 10u);
  EXPECT_EQ(SysStringLen(s), 5u);
  EXPECT_EQ(SysStringByteLen(s), 10u);
  EXPECT_EQ(s[5], u'\0');
  SysFreeString(s);
  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  EXPECT_EQ(SysStringByteLen(nullptr), 0u);
  SysFreeString(nullptr);
}

TEST(Bstr, EmbeddedZerosKeptAndMissingSourceZeroFilled) {
  const char16_t text[] = {u'a', 0, u'b', 0, u'c'};
  BSTR s = SysAllocStringLen(text, 5);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(SysStringLen(s), 5u);
  EXPECT_EQ(std::u16string(s, 6), std::u16string(text, 5) + u'\0');
  SysFreeString(s);
  BSTR zeroed = SysAllocStringLen(nullptr, 8);
  ASSERT_NE(zeroed, nullptr);
  EXPECT_EQ(std::u16string(zeroed, 9), std::u16string(9, u'\0'));
  SysFreeString(zeroed);
}

TEST(Bstr, OddByteLengthsAreFollowedByTwoZeroBytes) {
  BSTR s = SysAllocStringByteLen("abc", 3);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(SysStringByteLen(s), 3u);
  EXPECT_EQ(SysStringLen(s), 1u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(s), 5), std::string("abc\0\0", 5));
  SysFreeString(s);
}

TEST(Bstr, HugeLengthsFailInsteadOfOverflowing) {
  for (UINT n : {0xFFFFFFFFu, 0x80000000u}) EXPECT_EQ(SysAllocStringLen(nullptr, n), nullptr);
  for (UINT n : {0xFFFFFFFFu, 0xFFFFFFFCu}) EXPECT_EQ(SysAllocStringByteLen(nullptr, n), nullptr);
}

TEST(Bstr, ReAllocReplacesAndAcceptsItsOwnText) {
  BSTR s = SysAllocString(u"first value");
  ASSERT_TRUE(SysReAllocString(&s, u"second"));
  ASSERT_TRUE(SysReAllocString(&s, s + 3));  // the new text may be part of the old one
  EXPECT_EQ(std::u16string(s, SysStringLen(s)), u"ond");
  EXPECT_FALSE(SysReAllocString(nullptr, u"x"));
  SysFreeString(s);
}

}  // namespace

// Result codes to text through FormatMessageW: the runtime's codes, Win32
// codes bare and wrapped as HRESULTs, the internet service's codes, and the
// buffer rules.
#include <gtest/gtest.h>

#include <string>

#include "qxnet/platform.h"

namespace {

constexpr DWORD kFromSystem = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;

std::u16string MessageOf(DWORD code) {
  OLECHAR buffer[512];
  const DWORD length = FormatMessageW(kFromSystem, nullptr, code, 0, buffer, 512, nullptr);
  return std::u16string(buffer, length);
}

TEST(ResultText, KnownCodesHaveTextEndingInALineBreak) {
  struct Case {
    uint32_t code;
    std::u16string fragment;
  };
  // One code of each kind: the table itself is data, not behaviour.
  const Case cases[] = {
      {0x80004002u, u"No such interface supported."},  // E_NOINTERFACE
      {0x80070005u, u"Access is denied."},             // E_ACCESSDENIED = HRESULT_FROM_WIN32(5)
      {5, u"Access is denied."},                       // ERROR_ACCESS_DENIED
      {12002, u"The operation timed out."},            // ERROR_INTERNET_TIMEOUT
      {0x80072EE2u, u"The operation timed out."},      // the same as an HRESULT
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    const std::u16string text = MessageOf(c.code);
    EXPECT_NE(text.find(c.fragment), std::u16string::npos);
    ASSERT_GE(text.size(), 2u);
    EXPECT_EQ(text.substr(text.size() - 2), u"\r\n");
  }
}

TEST(ResultText, UnknownCodesAndUnsupportedFlagsGiveNothing) {
  for (uint32_t code : {0x80001234u, 12003u, 0x80072EE3u, 0xC0000005u})
    EXPECT_EQ(MessageOf(code), u"") << code;
  OLECHAR buffer[512];
  EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_FROM_STRING, u"text", 0, 0, buffer, 512, nullptr), 0u);
  EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, 5, 0, buffer, 512, nullptr), 0u);
  EXPECT_EQ(FormatMessageW(kFromSystem, nullptr, 5, 0, nullptr, 512, nullptr), 0u);
}

TEST(ResultText, CallerBufferMustHoldTheTextAndItsTerminator) {
  const std::u16string text = MessageOf(5);
  const DWORD needed = static_cast<DWORD>(text.size() + 1);
  std::u16string buffer(needed + 4, u'#');
  EXPECT_EQ(FormatMessageW(kFromSystem, nullptr, 5, 0, buffer.data(), needed - 1, nullptr), 0u);
  EXPECT_EQ(buffer[0], u'#');  // nothing written when the text does not fit
  ASSERT_EQ(FormatMessageW(kFromSystem, nullptr, 5, 0, buffer.data(), needed, nullptr), needed - 1);
  EXPECT_EQ(buffer.substr(0, needed), text + u'\0');
  EXPECT_EQ(buffer[needed], u'#');
}

TEST(ResultText, AllocatedBufferIsFreedWithLocalFree) {
  LPWSTR allocated = nullptr;
  const DWORD length =
      FormatMessageW(kFromSystem | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, 0x80040154u, 0,
                     reinterpret_cast<LPWSTR>(&allocated), 0, nullptr);
  ASSERT_NE(allocated, nullptr);
  EXPECT_EQ(std::u16string(allocated), MessageOf(0x80040154u));
  EXPECT_EQ(length, std::u16string(allocated).size());
  EXPECT_EQ(LocalFree(allocated), nullptr);
}

}  // namespace

// GUID text: formatting, parsing, malformed input and ProgID lookup.
#include <gtest/gtest.h>

#include <string>

#include "qxnet/platform.h"
#include "tests/support/registry_dump.h"

namespace {

constexpr GUID kSample = {
    0x0123ABCD, 0x4567, 0x89EF, {0xFE, 0xDC, 0xBA, 0x98, 0x76, 0x54, 0x32, 0x10}};

TEST(GuidText, FormatsUpperCaseBracedAndRoundTrips) {
  OLECHAR buffer[39];
  ASSERT_EQ(StringFromGUID2(kSample, buffer, 39), 39);
  EXPECT_EQ(std::u16string(buffer), u"{0123ABCD-4567-89EF-FEDC-BA9876543210}");
  EXPECT_EQ(StringFromGUID2(kSample, buffer, 38), 0);
  EXPECT_EQ(StringFromGUID2(kSample, nullptr, 39), 0);
  IID iid{};
  EXPECT_EQ(IIDFromString(u"{0123abcd-4567-89ef-fedc-ba9876543210}", &iid), S_OK);
  EXPECT_EQ(iid, kSample);
  CLSID clsid{};
  EXPECT_EQ(CLSIDFromString(buffer, &clsid), S_OK);
  EXPECT_EQ(clsid, kSample);
}

TEST(GuidText, MalformedTextAndNullArguments) {
  for (const char16_t* text :
       {u"", u"{0123ABCD-4567-89EF-FEDC-BA9876543210", u"0123ABCD-4567-89EF-FEDC-BA9876543210",
        u"{0123ABCD-4567-89EF-FEDC-BA9876543210}x", u"{0123ABCD-4567-89EF-FEDCBA9876543210-}",
        u"{0123ABCG-4567-89EF-FEDC-BA9876543210}", u"{+123ABCD-4567-89EF-FEDC-BA9876543210}",
        u"{"}) {
    IID iid = kSample;
    EXPECT_EQ(IIDFromString(text, &iid), E_INVALIDARG);
  }
  CLSID clsid = kSample;
  EXPECT_EQ(CLSIDFromString(u"{0123ABCD-4567-89EF-FEDC-BA98765432}", &clsid), CO_E_CLASSSTRING);
  EXPECT_EQ(clsid, GUID_NULL);
  // Null text is the null GUID; a null out-pointer is refused.
  IID iid = kSample;
  EXPECT_EQ(IIDFromString(nullptr, &iid), S_OK);
  EXPECT_EQ(iid, GUID_NULL);
  EXPECT_EQ(IIDFromString(u"{0123ABCD-4567-89EF-FEDC-BA9876543210}", nullptr), E_INVALIDARG);
  EXPECT_EQ(CLSIDFromString(u"x", nullptr), E_INVALIDARG);
}

TEST(GuidText, OtherTextIsLookedUpAsAProgID) {
  qxtest::WriteRegistryString(HKEY_CLASSES_ROOT, u"QxComTest.Sample\\CLSID", u"",
                              qxtest::GuidText(kSample));
  CLSID clsid{};
  EXPECT_EQ(CLSIDFromString(u"QxComTest.Sample", &clsid), S_OK);
  EXPECT_EQ(clsid, kSample);
  EXPECT_EQ(CLSIDFromString(u"QxComTest.NotRegistered", &clsid), CO_E_CLASSSTRING);
  EXPECT_EQ(clsid, GUID_NULL);
}

}  // namespace

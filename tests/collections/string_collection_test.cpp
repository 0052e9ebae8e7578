// StringCollection: owned full-length copies, duplicates kept, case-insensitive
// InCollection, and the collection error reports.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "tests/support/com_test.h"

namespace {

using qx::BStr;
using qx::ComPtr;
using namespace std::literals;

class StringCollectionTest : public qxtest::ObjectTest<IStringCollection, CLSID_StringCollection> {
 protected:
  qx::ComPtr<IStringCollection>& strings = object;
  bool Has(std::u16string_view text) {
    VARIANT_BOOL found = 3;
    EXPECT_EQ(strings->InCollection(BStr(text).Get(), &found), S_OK);
    EXPECT_TRUE(found == VARIANT_TRUE || found == VARIANT_FALSE);
    return found == VARIANT_TRUE;
  }
};

TEST_F(StringCollectionTest, StoresFullLengthCopiesAndComparesIgnoringCase) {
  for (const char16_t* text : {u"abc", u"abc", u"straße", u"Ελλάδα", u"Київ"}) {
    ASSERT_EQ(strings->Add(BStr(text).Get()), S_OK);  // duplicates are kept
  }
  EXPECT_FALSE(Has(u""));
  ASSERT_EQ(strings->Add(nullptr), S_OK);
  ASSERT_EQ(strings->Add(BStr(u"x\0y"s).Get()), S_OK);
  LONG count = 0;
  ASSERT_EQ(strings->get_Count(&count), S_OK);
  EXPECT_EQ(count, 7);
  BStr value;
  ASSERT_EQ(strings->Item(5, value.Put()), S_OK);
  EXPECT_FALSE(value.IsNull());  // null is stored as empty text
  EXPECT_EQ(value.Length(), 0u);
  ASSERT_EQ(strings->Item(6, value.Put()), S_OK);
  EXPECT_EQ(value.Text(), u"x\0y"s);

  for (const char16_t* text : {u"ABC", u"STRAßE", u"ΕΛΛΆΔΑ", u"КИЇВ", u""}) {
    EXPECT_TRUE(Has(text)) << qxtest::Narrow(text);
  }
  EXPECT_FALSE(Has(u"STRASSE"));
  EXPECT_FALSE(Has(u"ab"));
}

TEST_F(StringCollectionTest, ReportsItsOwnErrors) {
  BStr one(u"one");
  strings->Add(one.Get());
  VARIANT_BOOL found = VARIANT_TRUE;
  EXPECT_EQ(strings->InCollection(nullptr, &found), S_OK);
  EXPECT_EQ(found, VARIANT_FALSE);
  for (LONG bad : {LONG(1), LONG(-1), LONG(INT_MIN), LONG(INT_MAX)}) {
    EXPECT_EQ(strings->Item(bad, nullptr), E_INVALIDARG);
    EXPECT_EQ(qxtest::TakeErrorRecord().description, u"Invalid index");
  }
  EXPECT_EQ(strings->Item(0, nullptr), E_POINTER);
  EXPECT_EQ(qxtest::TakeErrorRecord().description, u"Invalid parameter");
  EXPECT_EQ(strings->InCollection(one.Get(), nullptr), E_POINTER);
}

}  // namespace

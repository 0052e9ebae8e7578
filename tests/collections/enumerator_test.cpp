// The collections' enumerator: Next, Skip, Reset and Clone, the live view of
// the collection and the reference it keeps on it.
#include <gtest/gtest.h>

#include <string>

#include "qxnet/variant.h"
#include "tests/support/com_test.h"

namespace {

using qx::BStr;
using qx::ComPtr;

class EnumeratorTest : public qxtest::ComTest {
 protected:
  void SetUp() override {
    qxtest::ComTest::SetUp();
    strings = qxtest::Create<IStringCollection>(CLSID_StringCollection);
    ASSERT_TRUE(strings);
    for (const char16_t* text : {u"one", u"two", u"three"}) Add(text);
  }
  void TearDown() override {
    strings = nullptr;
    qxtest::ComTest::TearDown();
  }
  void Add(const char16_t* text) {
    BStr value(text);
    ASSERT_EQ(strings->Add(value.Get()), S_OK);
  }
  ComPtr<IEnumVARIANT> NewEnum() {
    ComPtr<IUnknown> unknown;
    EXPECT_EQ(strings->get__NewEnum(unknown.Put()), S_OK);
    return unknown.As<IEnumVARIANT>();
  }
  static std::u16string NextText(IEnumVARIANT* e) {
    qx::Variant v;
    ULONG fetched = 9;
    HRESULT hr = e->Next(1, &v, &fetched);
    if (hr != S_OK) return u"<" + std::u16string(hr == S_FALSE ? u"end" : u"error") + u">";
    EXPECT_EQ(fetched, 1u);
    EXPECT_EQ(v.vt, VT_BSTR);
    return std::u16string(qx::BstrView(v.bstrVal));
  }

  ComPtr<IStringCollection> strings;
};

TEST_F(EnumeratorTest, NextDeliversCopiesAndReportsShortReads) {
  ComPtr<IEnumVARIANT> e = NewEnum();
  ASSERT_TRUE(e);
  qx::Variant batch[4];
  ULONG fetched = 0;
  ASSERT_EQ(e->Next(2, batch, &fetched), S_OK);
  EXPECT_EQ(fetched, 2u);
  EXPECT_EQ(qx::BstrView(batch[1].bstrVal), u"two");
  ASSERT_EQ(e->Next(2, batch + 2, &fetched), S_FALSE);
  EXPECT_EQ(fetched, 1u);
  EXPECT_EQ(qx::BstrView(batch[2].bstrVal), u"three");
  EXPECT_EQ(batch[3].vt, VT_EMPTY);
  EXPECT_EQ(e->Next(1, batch + 3, nullptr), S_FALSE);

  // A copy: changing what was delivered leaves the collection alone.
  batch[0].bstrVal[0] = u'X';
  BStr first;
  strings->Item(0, first.Put());
  EXPECT_EQ(first.Text(), u"one");

  ASSERT_EQ(e->Reset(), S_OK);
  qx::Variant v[2];
  EXPECT_EQ(e->Next(1, nullptr, nullptr), E_POINTER);
  EXPECT_EQ(e->Next(2, v, nullptr), E_POINTER);
  EXPECT_EQ(e->Next(1, v, nullptr), S_OK);  // one element needs no count
  EXPECT_EQ(qx::BstrView(v[0].bstrVal), u"one");
}

TEST_F(EnumeratorTest, SkipResetAndCloneKeepTheirOwnPositions) {
  ComPtr<IEnumVARIANT> e = NewEnum();
  ASSERT_EQ(e->Skip(1), S_OK);
  ComPtr<IEnumVARIANT> clone;
  ASSERT_EQ(e->Clone(clone.Put()), S_OK);
  EXPECT_EQ(NextText(clone.Get()), u"two");
  EXPECT_EQ(NextText(e.Get()), u"two");
  EXPECT_EQ(NextText(clone.Get()), u"three");
  EXPECT_EQ(e->Skip(5), S_FALSE);
  EXPECT_EQ(NextText(e.Get()), u"<end>");
  EXPECT_EQ(e->Skip(0), S_OK);
  ASSERT_EQ(e->Reset(), S_OK);
  EXPECT_EQ(NextText(e.Get()), u"one");
  EXPECT_EQ(e->Clone(nullptr), E_POINTER);
}

TEST_F(EnumeratorTest, WalksTheLiveCollectionAndKeepsItAlive) {
  ComPtr<IEnumVARIANT> e = NewEnum();
  e->Skip(3);
  Add(u"four");  // added after the enumerator was made
  EXPECT_EQ(NextText(e.Get()), u"four");

  strings = nullptr;  // the enumerator's reference keeps the collection
  ASSERT_EQ(e->Reset(), S_OK);
  EXPECT_EQ(NextText(e.Get()), u"one");
  EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
}

TEST_F(EnumeratorTest, ItemCollectionsDeliverDispatchReferences) {
  ComPtr<IUpdateItems> items = qxtest::Create<IUpdateItems>(CLSID_UpdateItems);
  ComPtr<IUpdateItem> item = qxtest::Create<IUpdateItem>(CLSID_UpdateItem);
  items->Add(item.Get());
  ComPtr<IUnknown> unknown;
  ASSERT_EQ(items->get__NewEnum(unknown.Put()), S_OK);
  ComPtr<IEnumVARIANT> e = unknown.As<IEnumVARIANT>();
  qx::Variant v;
  ASSERT_EQ(e->Next(1, &v, nullptr), S_OK);
  ASSERT_EQ(v.vt, VT_DISPATCH);
  ComPtr<IUpdateItem> delivered = qx::QueryAs<IUpdateItem>(v.pdispVal);
  EXPECT_EQ(delivered.Get(), item.Get());
}

}  // namespace

// UpdateItems: indexing, duplicate-free Add by guid ignoring case, a guid
// index that follows changes made through other holders, Remove, the stable
// sort and the item list text. Late-bound calls are the type library's test.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "tests/collections/test_objects.h"
#include "tests/support/com_test.h"

namespace {

using collections_test::CountOf;
using collections_test::ForeignItem;
using collections_test::Guids;
using collections_test::NewItem;
using qx::BStr;
using qx::ComPtr;
using namespace std::literals;

class UpdateItemsTest : public qxtest::ObjectTest<IUpdateItems, CLSID_UpdateItems> {
 protected:
  qx::ComPtr<IUpdateItems>& items = object;

  static void SetGuid(IUpdateItem* item, std::u16string_view guid) {
    BStr text(guid);
    ASSERT_EQ(item->put_guid(text.Get()), S_OK);
  }
  static bool Has(IUpdateItems* list, std::u16string_view guid) {
    BStr text(guid);
    VARIANT_BOOL found = 5;
    EXPECT_EQ(list->InCollection(text.Get(), &found), S_OK);
    EXPECT_TRUE(found == VARIANT_TRUE || found == VARIANT_FALSE);
    return found == VARIANT_TRUE;
  }
};

TEST_F(UpdateItemsTest, ItemChecksTheIndexBeforeTheResultPointer) {
  ComPtr<IUpdateItem> only = NewItem(u"a");
  ASSERT_EQ(items->Add(only.Get()), S_OK);
  ComPtr<IUpdateItem> got;
  ASSERT_EQ(items->Item(0, got.Put()), S_OK);
  EXPECT_EQ(got.Get(), only.Get());

  for (LONG bad : {LONG(1), LONG(-1), LONG(INT_MAX), LONG(INT_MIN)}) {
    qxtest::ClearErrorRecord();
    EXPECT_EQ(items->Item(bad, got.Put()), E_INVALIDARG);
    EXPECT_FALSE(got);
    EXPECT_EQ(qxtest::TakeErrorRecord().description, u"Invalid index");
    // Index first: a bad index with a null result pointer is still "Invalid index".
    EXPECT_EQ(items->Item(bad, nullptr), E_INVALIDARG);
    EXPECT_EQ(qxtest::TakeErrorRecord().description, u"Invalid index");
  }
  EXPECT_EQ(items->Item(0, nullptr), E_POINTER);
  EXPECT_EQ(qxtest::TakeErrorRecord().description, u"Invalid parameter");
  EXPECT_EQ(items->Add(nullptr), E_POINTER);
  EXPECT_EQ(items->InCollection(nullptr, nullptr), E_POINTER);
  EXPECT_EQ(items->Remove(nullptr), E_POINTER);
  EXPECT_EQ(qxtest::TakeErrorRecord().description, u"Invalid parameter");
}

// Which letters fold together is the case folding's own test.
TEST_F(UpdateItemsTest, AddDropsGuidsThatDifferOnlyInCaseIncludingNonAscii) {
  const std::pair<const char16_t*, const char16_t*> pairs[] = {{u"abc-DEF", u"ABC-def"},
                                                               {u"ПРИВЕТ-Ё", u"привет-ё"}};
  for (auto [first, second] : pairs) {
    ComPtr<IUpdateItem> a = NewItem(first), b = NewItem(second);
    ASSERT_EQ(items->Add(a.Get()), S_OK);
    LONG before = CountOf(items.Get());
    ASSERT_EQ(items->Add(b.Get()), S_OK);
    EXPECT_EQ(CountOf(items.Get()), before) << qxtest::Narrow(second);
    EXPECT_TRUE(Has(items.Get(), second));
  }
  // Different letters stay different.
  ComPtr<IUpdateItem> sharp = NewItem(u"straße"), doubled = NewItem(u"STRASSE");
  items->Add(sharp.Get());
  items->Add(doubled.Get());
  EXPECT_TRUE(Has(items.Get(), u"STRAßE"));
  EXPECT_EQ(CountOf(items.Get()), 4);
}

TEST_F(UpdateItemsTest, AbsentAndEmptyGuidsAreOneGuidAndGuidsEndAtAZero) {
  ComPtr<IUpdateItem> absent = NewItem(nullptr), empty = NewItem(u"");
  ASSERT_EQ(items->Add(absent.Get()), S_OK);
  ASSERT_EQ(items->Add(empty.Get()), S_OK);
  ASSERT_EQ(CountOf(items.Get()), 1);
  VARIANT_BOOL found = 0;
  items->InCollection(nullptr, &found);
  EXPECT_EQ(found, VARIANT_TRUE);

  ComPtr<IUpdateItem> item = NewItem(nullptr);
  SetGuid(item.Get(), u"id\0tail"s);
  items->Add(item.Get());
  EXPECT_TRUE(Has(items.Get(), u"ID"));
  EXPECT_TRUE(Has(items.Get(), u"id\0other"s));
  EXPECT_FALSE(Has(items.Get(), u"idtail"));
}

TEST_F(UpdateItemsTest, GuidChangedThroughAnotherHolderIsSeenByTheCollection) {
  ComPtr<IUpdateItem> item = NewItem(u"old-guid");
  ComPtr<IUpdateItems> other = qxtest::Create<IUpdateItems>(CLSID_UpdateItems);
  ASSERT_EQ(items->Add(item.Get()), S_OK);
  ASSERT_EQ(other->Add(item.Get()), S_OK);

  // Change it through what the second holder hands out.
  ComPtr<IUpdateItem> held;
  ASSERT_EQ(other->Item(0, held.Put()), S_OK);
  SetGuid(held.Get(), u"New-Guid");
  for (IUpdateItems* list : {items.Get(), other.Get()}) {
    EXPECT_TRUE(Has(list, u"NEW-GUID"));
    EXPECT_FALSE(Has(list, u"old-guid"));
  }
  // The old guid is free again; the new one is taken.
  ComPtr<IUpdateItem> reuse = NewItem(u"OLD-GUID"), clash = NewItem(u"new-guid");
  items->Add(reuse.Get());
  items->Add(clash.Get());
  EXPECT_EQ(Guids(items.Get()), (std::vector<std::u16string>{u"New-Guid", u"OLD-GUID"}));

  // A change through the item's own fragment reader is followed too.
  BStr fragment(u"<guid>third</guid>");
  held->UnMarshallObject(fragment.Get());
  EXPECT_TRUE(Has(items.Get(), u"THIRD"));
  EXPECT_FALSE(Has(items.Get(), u"new-guid"));

  // After removal the collection no longer follows the item.
  ASSERT_EQ(other->Remove(held.Get()), S_OK);
  EXPECT_EQ(CountOf(other.Get()), 0);
  SetGuid(held.Get(), u"fourth");
  EXPECT_FALSE(Has(other.Get(), u"fourth"));
  EXPECT_TRUE(Has(items.Get(), u"fourth"));
  EXPECT_FALSE(Has(items.Get(), u"third"));

  // Two members carrying one guid after a change are counted apart.
  ComPtr<IUpdateItem> a = NewItem(u"a"), b = NewItem(u"b");
  items->Add(a.Get());
  items->Add(b.Get());
  SetGuid(b.Get(), u"A");
  SetGuid(a.Get(), u"c");
  EXPECT_TRUE(Has(items.Get(), u"a"));
  EXPECT_TRUE(Has(items.Get(), u"c"));
  EXPECT_FALSE(Has(items.Get(), u"b"));
}

TEST_F(UpdateItemsTest, ItemsOfAnotherImplementationAreCheckedByTheirGuid) {
  auto* foreign = new ForeignItem(u"Foreign-1");
  ComPtr<IUpdateItem> held = ComPtr<IUpdateItem>::Attach(foreign);
  ASSERT_EQ(items->Add(held.Get()), S_OK);
  ComPtr<IUpdateItem> same = NewItem(u"FOREIGN-1");
  items->Add(same.Get());
  EXPECT_EQ(CountOf(items.Get()), 1);

  foreign->guid = u"renamed";  // changes without telling anyone
  EXPECT_TRUE(Has(items.Get(), u"RENAMED"));
  EXPECT_FALSE(Has(items.Get(), u"foreign-1"));

  ComPtr<IUpdateItem> key = NewItem(u"Renamed");
  ASSERT_EQ(items->Remove(key.Get()), S_OK);
  EXPECT_EQ(CountOf(items.Get()), 0);
  held = nullptr;
}

TEST_F(UpdateItemsTest, RemoveTakesOutTheFirstMemberWithTheGuidIgnoringCase) {
  ComPtr<IUpdateItem> a = NewItem(u"a"), b = NewItem(u"Ünique"), c = NewItem(u"c");
  for (auto* item : {a.Get(), b.Get(), c.Get()}) items->Add(item);

  ComPtr<IUpdateItem> missing = NewItem(u"zzz");
  ASSERT_EQ(items->Remove(missing.Get()), S_OK);
  EXPECT_EQ(CountOf(items.Get()), 3);

  ComPtr<IUpdateItem> key = NewItem(u"üNIQUE");  // a different object with the guid
  ASSERT_EQ(items->Remove(key.Get()), S_OK);
  EXPECT_EQ(Guids(items.Get()), (std::vector<std::u16string>{u"a", u"c"}));
  EXPECT_FALSE(Has(items.Get(), u"ünique"));
  ASSERT_EQ(items->Add(b.Get()), S_OK);
  EXPECT_EQ(CountOf(items.Get()), 3);
}

TEST_F(UpdateItemsTest, SortByPubDateIsStableAscendingAndKeepsNanLast) {
  ASSERT_EQ(items->SortByPubDate(), S_OK);  // empty
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const std::pair<const char16_t*, DATE> dated[] = {
      {u"nan-1", nan}, {u"three", 3},        {u"one-a", 1},   {u"big", 1e300}, {u"one-b", 1},
      {u"nan-2", nan}, {u"minus", -5000.75}, {u"-inf", -inf}, {u"one-c", 1}};
  std::vector<ComPtr<IUpdateItem>> made;
  for (auto [guid, date] : dated) {
    made.push_back(NewItem(guid, date));
    items->Add(made.back().Get());
  }
  ASSERT_EQ(items->SortByPubDate(), S_OK);
  EXPECT_EQ(Guids(items.Get()),
            (std::vector<std::u16string>{u"-inf", u"minus", u"one-a", u"one-b", u"one-c", u"three",
                                         u"big", u"nan-1", u"nan-2"}));
}

TEST_F(UpdateItemsTest, ItemListTextRoundTripsAndDropsKnownGuids) {
  BStr empty;
  ASSERT_EQ(items->MarshallObject(empty.Put()), S_OK);
  EXPECT_FALSE(empty.IsNull());
  EXPECT_EQ(empty.Length(), 0u);

  ComPtr<IUpdateItem> first = NewItem(u"g-1", 40000.5), second = NewItem(u"g-2", 40001.25);
  items->Add(first.Get());
  items->Add(second.Get());
  BStr text;
  ASSERT_EQ(items->MarshallObject(text.Put()), S_OK);
  BStr one, two;
  first->MarshallObject(one.Put());
  second->MarshallObject(two.Put());
  EXPECT_EQ(text.Text(), one.Text() + u"\n" + two.Text() + u"\n");

  ComPtr<IUpdateItems> copy = qxtest::Create<IUpdateItems>(CLSID_UpdateItems);
  ASSERT_EQ(copy->UnMarshallObject(text.Get()), S_OK);
  EXPECT_EQ(Guids(copy.Get()), (std::vector<std::u16string>{u"g-1", u"g-2"}));

  ASSERT_EQ(items->UnMarshallObject(text.Get()), S_OK);
  EXPECT_EQ(CountOf(items.Get()), 2);
}

TEST_F(UpdateItemsTest, ItemListTextReaderHandlesBrokenBlocks) {
  const std::pair<std::u16string_view, std::vector<std::u16string>> cases[] = {
      {u"<item><guid>a</guid>", {}},
      {u"</item><guid>a</guid><item>", {}},
      {u"junk<item><guid>a</guid><item><guid>b</guid></item>tail<guid>c</guid></item>", {u"a"}},
      {u"<item><guid>x</guid></item>between<item><guid>y</guid></item><item>", {u"x", u"y"}},
      {u"<item><guid>z\0z</guid></item>"sv, {u"z\0z"s}},
  };
  for (const auto& [text, expected] : cases) {
    ComPtr<IUpdateItems> list = qxtest::Create<IUpdateItems>(CLSID_UpdateItems);
    BStr arg(text);
    ASSERT_EQ(list->UnMarshallObject(arg.Get()), S_OK);
    EXPECT_EQ(Guids(list.Get()), expected) << qxtest::Narrow(text);
  }
  EXPECT_EQ(items->UnMarshallObject(nullptr), S_OK);
  EXPECT_EQ(CountOf(items.Get()), 0);
}

}  // namespace

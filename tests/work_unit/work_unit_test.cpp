// The work unit: held catalog and document, the gathering collections, the
// all-items snapshot, and the moves with their messages and codes. A whole
// update pass runs end to end in the command line's update test.
#include <gtest/gtest.h>

#include "tests/support/feed_fixture.h"

namespace {

using namespace feedtest;
using qx::BStr;
using qx::ComPtr;

class WorkUnitTest : public qxtest::ComTest {
 protected:
  void SetUp() override {
    qxtest::ComTest::SetUp();
    unit = qxtest::Create<IUpdateWorkUnit>(CLSID_UpdateWorkUnit);
    catalog = qxtest::Create<IUpdateCatalog>(CLSID_UpdateCatalog);
    ASSERT_TRUE(unit && catalog);
  }
  void TearDown() override {
    unit = nullptr;
    catalog = nullptr;
    qxtest::ComTest::TearDown();
  }

  ComPtr<IUpdateItems> All() {
    ComPtr<IUpdateItems> all;
    EXPECT_EQ(unit->get_allItems(all.Put()), S_OK);
    return all;
  }

  ComPtr<IUpdateWorkUnit> unit;
  ComPtr<IUpdateCatalog> catalog;
};

TEST_F(WorkUnitTest, HeldObjectsAndTheirFailures) {
  ComPtr<IUpdateCatalog> got;
  EXPECT_EQ(unit->get_catalog(got.Put()), E_INVALIDARG);
  EXPECT_EQ(TakeErrorText(), "Catalog not initialized");
  ComPtr<IUpdateDocument> doc;
  EXPECT_EQ(unit->get_UpdateDocument(doc.Put()), E_INVALIDARG);
  EXPECT_EQ(TakeErrorText(), "Document not initialized");

  ASSERT_EQ(unit->put_catalog(catalog.Get()), S_OK);
  ASSERT_EQ(unit->get_catalog(got.Put()), S_OK);
  EXPECT_EQ(got.Get(), catalog.Get());
  auto document = qxtest::Create<IUpdateDocument>(CLSID_UpdateDocument);
  ASSERT_EQ(unit->put_UpdateDocument(document.Get()), S_OK);
  ASSERT_EQ(unit->get_UpdateDocument(doc.Put()), S_OK);
  EXPECT_EQ(doc.Get(), document.Get());
  EXPECT_EQ(unit->put_UpdateDocument(nullptr), S_OK);
  EXPECT_EQ(unit->get_UpdateDocument(doc.Put()), E_INVALIDARG);

  // An object that is no catalog: the query's failure, and nothing held.
  auto notACatalog = qxtest::Create<IUpdateItem>(CLSID_UpdateItem);
  EXPECT_EQ(unit->put_catalog(reinterpret_cast<IUpdateCatalog*>(notACatalog.Get())), E_NOINTERFACE);
  EXPECT_EQ(unit->get_catalog(got.Put()), E_INVALIDARG);
}

TEST_F(WorkUnitTest, GatheringCollectionsAreTheCallersOwn) {
  ComPtr<IUpdateItems> first, second, discard;
  ASSERT_EQ(unit->get_toInstallItems(first.Put()), S_OK);
  ASSERT_EQ(unit->get_toInstallItems(second.Put()), S_OK);
  ASSERT_EQ(unit->get_toDiscardItems(discard.Put()), S_OK);
  EXPECT_EQ(first.Get(), second.Get());
  EXPECT_NE(first.Get(), discard.Get());
  EXPECT_TRUE(Guids(first.Get()).empty());
  unit->put_catalog(catalog.Get());
  auto item = MakeItem("a");
  Pending(catalog.Get())->Add(item.Get());
  first->Add(item.Get());
  EXPECT_EQ(Guids(Pending(catalog.Get()).Get()), std::vector<std::string>{"a"});
  EXPECT_EQ(Guids(second.Get()), std::vector<std::string>{"a"});
}

TEST_F(WorkUnitTest, SnapshotIsSortedBuiltOnceAndKeepsStatuses) {
  ComPtr<IUpdateItems> all;
  EXPECT_EQ(unit->get_allItems(all.Put()), E_INVALIDARG);
  EXPECT_EQ(TakeErrorText(), "Catalog is not initialized");

  auto Put = [](IUpdateItems* list, const char* guid, const char* date, const char* status) {
    auto item = MakeItem(guid, Date(date));
    item->put_status(Wide(status).Get());
    list->Add(item.Get());
    return item;
  };
  auto p = Put(Pending(catalog.Get()).Get(), "p", "Wed, 03 Jun 2026 00:00:00 GMT", "Pending");
  auto d = Put(Discarded(catalog.Get()).Get(), "d", "Mon, 01 Jun 2026 00:00:00 GMT", "Discarded");
  Put(Installed(catalog.Get()).Get(), "i", "Tue, 02 Jun 2026 00:00:00 GMT", "Installed");
  unit->put_catalog(catalog.Get());

  all = All();
  auto members = Members(all.Get());
  ASSERT_EQ(members.size(), 3u);
  std::vector<std::string> dated;
  for (const auto& m : members) dated.push_back(Guid(m.Get()) + "/" + Status(m.Get()));
  // Oldest first, each entry the catalog's own object with its own status.
  EXPECT_EQ(dated, (std::vector<std::string>{"d/Discarded", "i/Installed", "p/Pending"}));
  EXPECT_EQ(members[0].Get(), d.Get());

  // A move changes the lists, not the snapshot.
  ASSERT_EQ(unit->MoveToInstalled(p.Get()), S_OK);
  auto again = All();
  EXPECT_EQ(again.Get(), all.Get());
  EXPECT_EQ(Guids(again.Get()), Guids(all.Get()));
  EXPECT_EQ(Members(again.Get()).size(), 3u);
}

TEST_F(WorkUnitTest, MovesAndTheirFailures) {
  auto item = MakeItem("a");
  EXPECT_EQ(unit->MoveToInstalled(item.Get()), E_FAIL);
  EXPECT_EQ(TakeErrorText(), "Catalog is not initialized");
  unit->put_catalog(catalog.Get());
  EXPECT_EQ(unit->MoveToInstalled(nullptr), E_INVALIDARG);
  EXPECT_EQ(TakeErrorText(), "Invalid argument");
  EXPECT_EQ(unit->MoveToPending(item.Get()), E_FAIL);
  EXPECT_EQ(TakeErrorText(), "Unable to find item in collection");
  EXPECT_TRUE(Guids(Pending(catalog.Get()).Get()).empty());

  item->put_status(Wide("Pending").Get());
  Pending(catalog.Get())->Add(item.Get());
  Pending(catalog.Get())->Add(MakeItem("b").Get());
  Installed(catalog.Get())->Add(MakeItem("z").Get());
  ASSERT_EQ(unit->MoveToInstalled(item.Get()), S_OK);
  EXPECT_EQ(Guids(Pending(catalog.Get()).Get()), std::vector<std::string>{"b"});
  EXPECT_EQ(Guids(Installed(catalog.Get()).Get()), (std::vector<std::string>{"z", "a"}));
  EXPECT_EQ(Status(item.Get()), "Pending");  // the move leaves the item alone

  // Moving into the list that holds it puts it at the end, once.
  ASSERT_EQ(unit->MoveToInstalled(Members(Installed(catalog.Get()).Get())[1].Get()), S_OK);
  ASSERT_EQ(unit->MoveToDiscarded(MakeItem("z").Get()), S_OK);
  ASSERT_EQ(unit->MoveToDiscarded(MakeItem("Z").Get()), S_OK);
  EXPECT_EQ(Guids(Discarded(catalog.Get()).Get()), std::vector<std::string>{"Z"});
  EXPECT_EQ(Guids(Installed(catalog.Get()).Get()), std::vector<std::string>{"a"});

  // A separate object with the guid in another case replaces the catalog's.
  auto other = MakeItem("B");
  ASSERT_EQ(unit->MoveToPending(other.Get()), S_OK);
  auto pending = Members(Pending(catalog.Get()).Get());
  ASSERT_EQ(pending.size(), 1u);
  EXPECT_EQ(pending[0].Get(), other.Get());
}

}  // namespace

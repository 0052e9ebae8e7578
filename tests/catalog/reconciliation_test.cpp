// Reconciliation of a parsed feed with the catalog: known guids in any list
// and any letter case, the publish-date rule, shared item objects, repeated
// runs, and the failure rules of the document walk.
#include <gtest/gtest.h>

#include "tests/support/feed_fixture.h"
#include "tests/support/test_object.h"

namespace {

using namespace feedtest;
using qx::BStr;
using qx::ComPtr;

// The stand-ins below live on the test's stack and only count references.
template <class I>
using StackObject = qxtest::VtableOnlyObject<I, qxtest::Lifetime::Stack>;

// A document over channels the test assembles, or one whose channels fail.
struct StandInDocument : StackObject<IUpdateDocument> {
  HRESULT STDMETHODCALLTYPE get_channels(IUpdateChannels** out) override {
    *out = nullptr;
    if (FAILED(channelsResult)) return channelsResult;
    channels.CopyTo(out);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Parse(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Save(BSTR) override { return E_NOTIMPL; }
  ComPtr<IUpdateChannels> channels;
  HRESULT channelsResult = S_OK;
};

// A channel whose item collection cannot be had, or cannot be counted.
struct BrokenChannel : StackObject<IUpdateChannel> {
  struct UncountableItems : StackObject<IUpdateItems> {
    HRESULT STDMETHODCALLTYPE Item(LONG, IUpdateItem**) override { return E_FAIL; }
    HRESULT STDMETHODCALLTYPE get_Count(LONG*) override { return E_ACCESSDENIED; }
    HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Add(IUpdateItem*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE InCollection(BSTR, VARIANT_BOOL*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE MarshallObject(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE UnMarshallObject(BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Remove(IUpdateItem*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SortByPubDate() override { return E_NOTIMPL; }
  };
  HRESULT STDMETHODCALLTYPE get_items(IUpdateItems** out) override {
    *out = nullptr;
    if (!countable) {
      uncountable.AddRef();
      *out = &uncountable;
      return S_OK;
    }
    return E_OUTOFMEMORY;
  }
  HRESULT STDMETHODCALLTYPE get_title(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_title(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_link(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_link(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_description(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_description(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_lastCheckDate(DATE*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_lastCheckDate(DATE) override { return E_NOTIMPL; }
  bool countable = true;  // true: get_items itself fails
  UncountableItems uncountable;
};

class ReconciliationTest : public qxtest::ObjectTest<IUpdateCatalog, CLSID_UpdateCatalog> {
 protected:
  qx::ComPtr<IUpdateCatalog>& catalog = object;

  HRESULT Reconcile(IUpdateDocument* doc) { return catalog->ReconcileWithUpdateDocument(doc); }

  // A real channel holding `items`, for documents the test assembles.
  static ComPtr<IUpdateChannel> ChannelOf(const std::vector<ComPtr<IUpdateItem>>& items) {
    auto channel = qxtest::Create<IUpdateChannel>(CLSID_UpdateChannel);
    ComPtr<IUpdateItems> list;
    EXPECT_EQ(channel->get_items(list.Put()), S_OK);
    for (const auto& item : items) list->Add(item.Get());
    return channel;
  }
};

TEST_F(ReconciliationTest, KnownGuidsInAnyListAndCaseAreLeftAlone) {
  EXPECT_EQ(Reconcile(ParseFeed(FeedXml({{}, {}})).Get()), S_OK);  // empty: nothing changes
  EXPECT_TRUE(Guids(Pending(catalog.Get()).Get()).empty());
  Discarded(catalog.Get())->Add(MakeItem("Dropped-One").Get());
  Installed(catalog.Get())->Add(MakeItem("inst", Date("Thu, 01 Jan 2026 00:00:00 GMT")).Get());
  auto old = MakeItem("old-pending");
  old->put_status(Wide("Pending").Get());
  Pending(catalog.Get())->Add(old.Get());

  auto doc = ParseFeed(FeedXml({{{"dropped-one", "Fri, 01 May 2026 00:00:00 GMT"},
                                 {"inst", "Fri, 01 May 2026 00:00:00 GMT"},
                                 {"new-1", "Fri, 01 May 2026 00:00:00 GMT"},
                                 {"new-2", ""}}}));
  ASSERT_EQ(Reconcile(doc.Get()), S_OK);
  // New items are appended in feed order; the item gone from the feed stays.
  EXPECT_EQ(Guids(Pending(catalog.Get()).Get()),
            (std::vector<std::string>{"old-pending", "new-1", "new-2"}));
  EXPECT_EQ(Guids(Discarded(catalog.Get()).Get()), std::vector<std::string>{"Dropped-One"});
  EXPECT_EQ(Guids(Installed(catalog.Get()).Get()), std::vector<std::string>{"inst"});
  EXPECT_EQ(Get(Members(Installed(catalog.Get()).Get())[0].Get(), &IUpdateItem::get_pubDate),
            Date("Thu, 01 Jan 2026 00:00:00 GMT"));
}

TEST_F(ReconciliationTest, PublishDateBoundaries) {
  const DATE june1 = Date("Mon, 01 Jun 2026 12:00:00 GMT");
  catalog->put_publishDate(june1);
  auto may31 = MakeItem("may31", Date("Sun, 31 May 2026 12:00:00 GMT"));
  auto same = MakeItem("june1", june1);
  auto undated = MakeItem("undated");
  undated->put_pubDate(0.0);
  auto negative = MakeItem("negative");
  negative->put_pubDate(-3.5);
  auto channels = qxtest::Create<IUpdateChannels>(CLSID_UpdateChannels);
  channels->Add(ChannelOf({may31, same, undated, negative}).Get());
  StandInDocument doc;
  doc.channels = channels;

  ASSERT_EQ(Reconcile(&doc), S_OK);
  EXPECT_EQ(Guids(Pending(catalog.Get()).Get()),
            (std::vector<std::string>{"june1", "undated", "negative"}));

  // Without a publish date every new guid is taken, whatever its date.
  catalog->put_publishDate(0.0);
  ASSERT_EQ(Reconcile(&doc), S_OK);
  EXPECT_EQ(Guids(Pending(catalog.Get()).Get()),
            (std::vector<std::string>{"june1", "undated", "negative", "may31"}));
}

TEST_F(ReconciliationTest, SharedObjectsRepeatedGuidsAndRepeatedRuns) {
  auto doc = ParseFeed(FeedXml({{{"shared", "Fri, 01 May 2026 00:00:00 GMT", true}, {"", ""}},
                                {{"SHARED", ""}, {"", ""}, {"only-2", ""}}}));
  ASSERT_EQ(Reconcile(doc.Get()), S_OK);
  // The first occurrence wins; the second empty guid is found and skipped.
  EXPECT_EQ(Guids(Pending(catalog.Get()).Get()),
            (std::vector<std::string>{"shared", "", "only-2"}));

  // The catalog holds the document's own objects.
  ComPtr<IUpdateChannels> channels;
  ASSERT_EQ(doc->get_channels(channels.Put()), S_OK);
  ComPtr<IUpdateChannel> first;
  ASSERT_EQ(channels->Item(0, first.Put()), S_OK);
  ComPtr<IUpdateItems> items;
  ASSERT_EQ(first->get_items(items.Put()), S_OK);
  auto feedItems = Members(items.Get());
  EXPECT_EQ(Status(feedItems[0].Get()), "Pending");
  auto catalogItems = Members(Pending(catalog.Get()).Get());
  EXPECT_EQ(catalogItems[0].Get(), feedItems[0].Get());
  EXPECT_EQ(Get(catalogItems[0].Get(), &IUpdateItem::get_required), VARIANT_TRUE);

  ASSERT_EQ(Reconcile(doc.Get()), S_OK);
  EXPECT_EQ(Members(Pending(catalog.Get()).Get()).size(), 3u);
}

TEST_F(ReconciliationTest, WalkFailuresReportComErrorAndKeepWhatWasAdded) {
  StandInDocument noChannels;
  noChannels.channelsResult = E_OUTOFMEMORY;
  EXPECT_EQ(Reconcile(&noChannels), E_FAIL);
  auto record = qxtest::TakeErrorRecord();
  EXPECT_EQ(qxtest::Narrow(record.description), "COM Error");
  EXPECT_EQ(record.iid, IID_IUpdateCatalog);

  BrokenChannel broken;
  {
    auto channels = qxtest::Create<IUpdateChannels>(CLSID_UpdateChannels);
    channels->Add(ChannelOf({MakeItem("before")}).Get());
    channels->Add(&broken);
    channels->Add(ChannelOf({MakeItem("after")}).Get());
    StandInDocument doc;
    doc.channels = channels;
    EXPECT_EQ(Reconcile(&doc), E_FAIL);
    EXPECT_EQ(qxtest::TakeErrorText(), "COM Error");
  }
  EXPECT_EQ(Guids(Pending(catalog.Get()).Get()), std::vector<std::string>{"before"});
  EXPECT_EQ(broken.refs, 1u);
}

TEST_F(ReconciliationTest, UncountableChannelContributesNothing) {
  BrokenChannel uncountable;
  uncountable.countable = false;
  {
    auto channels = qxtest::Create<IUpdateChannels>(CLSID_UpdateChannels);
    channels->Add(&uncountable);
    channels->Add(ChannelOf({MakeItem("x")}).Get());
    StandInDocument doc;
    doc.channels = channels;
    qxtest::ClearErrorRecord();
    EXPECT_EQ(Reconcile(&doc), S_OK);
    EXPECT_EQ(Guids(Pending(catalog.Get()).Get()), std::vector<std::string>{"x"});

    // As the last channel, its failure is the result, without a message.
    channels->Add(&uncountable);
    EXPECT_EQ(Reconcile(&doc), E_ACCESSDENIED);
    EXPECT_FALSE(qxtest::TakeErrorRecord().present);
  }
  EXPECT_EQ(uncountable.refs, 1u);
  EXPECT_EQ(uncountable.uncountable.refs, 1u);
}

}  // namespace

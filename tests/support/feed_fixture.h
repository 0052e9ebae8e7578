// The fixture pieces of the feed, catalog and work-unit tests: feed files
// made and parsed, items made, and documents, channels, items and catalog
// lists read back as plain values.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "feed/feed_date.h"
#include "qxnet/text.h"
#include "tests/support/com_test.h"
#include "tests/support/files.h"

namespace feedtest {

using qx::BStr;
using qx::ComPtr;
using qxtest::ReadFile;
using qxtest::TempPath;
using qxtest::WriteFile;
using qxtest::WriteTempFile;

inline HRESULT Parse(IUpdateDocument* document, const std::string& path) {
  BStr name = BStr::FromUtf8(path);
  return document->Parse(name.Get());
}

inline HRESULT Save(IUpdateDocument* document, const std::string& path) {
  BStr name = BStr::FromUtf8(path);
  return document->Save(name.Get());
}

struct ItemValues {
  std::u16string title, link, description, guid, category;
  DATE pubDate = 0;
  VARIANT_BOOL required = 0;
};

struct ChannelValues {
  std::u16string title, link, description;
  std::vector<ItemValues> items;
};

// The value of a text getter as it is; Text() below gives it as UTF-8.
template <class T>
std::u16string WideText(T* object, HRESULT (STDMETHODCALLTYPE T::*get)(BSTR*)) {
  BStr value;
  EXPECT_EQ((object->*get)(value.Put()), S_OK);
  return value.Text();
}

inline ItemValues ValuesOf(IUpdateItem* item) {
  ItemValues v;
  v.title = WideText(item, &IUpdateItem::get_title);
  v.link = WideText(item, &IUpdateItem::get_link);
  v.description = WideText(item, &IUpdateItem::get_description);
  v.guid = WideText(item, &IUpdateItem::get_guid);
  v.category = WideText(item, &IUpdateItem::get_category);
  EXPECT_EQ(item->get_pubDate(&v.pubDate), S_OK);
  EXPECT_EQ(item->get_required(&v.required), S_OK);
  return v;
}

inline std::vector<qx::ComPtr<IUpdateItem>> Members(IUpdateItems* list) {
  std::vector<qx::ComPtr<IUpdateItem>> members;
  LONG count = 0;
  EXPECT_EQ(list->get_Count(&count), S_OK);
  for (LONG i = 0; i < count; ++i) {
    EXPECT_EQ(list->Item(i, members.emplace_back().Put()), S_OK);
  }
  return members;
}

inline ChannelValues ValuesOf(IUpdateChannel* channel) {
  ChannelValues v;
  v.title = WideText(channel, &IUpdateChannel::get_title);
  v.link = WideText(channel, &IUpdateChannel::get_link);
  v.description = WideText(channel, &IUpdateChannel::get_description);
  ComPtr<IUpdateItems> items;
  EXPECT_EQ(channel->get_items(items.Put()), S_OK);
  if (items) {
    for (const auto& item : Members(items.Get()))
      if (item) v.items.push_back(ValuesOf(item.Get()));
  }
  return v;
}

inline std::vector<ChannelValues> ChannelsOf(IUpdateDocument* document) {
  std::vector<ChannelValues> result;
  ComPtr<IUpdateChannels> channels;
  EXPECT_EQ(document->get_channels(channels.Put()), S_OK);
  if (!channels) return result;
  LONG count = 0;
  EXPECT_EQ(channels->get_Count(&count), S_OK);
  for (LONG i = 0; i < count; ++i) {
    ComPtr<IUpdateChannel> channel;
    EXPECT_EQ(channels->Item(i, channel.Put()), S_OK);
    if (channel) result.push_back(ValuesOf(channel.Get()));
  }
  return result;
}

using qxtest::TakeErrorText;

inline std::u16string W(std::string_view utf8) { return qx::Utf8ToUtf16(utf8); }

inline qx::BStr Wide(const std::string& text) { return qx::BStr::FromUtf8(text); }

// A date from its feed text; fails the test when the text does not read.
inline DATE Date(const std::string& text) {
  DATE date = qx::feed::ParseFeedDate(qx::Utf8ToUtf16(text));
  EXPECT_NE(date, 0.0) << text;
  return date;
}

inline qx::ComPtr<IUpdateItem> MakeItem(const std::string& guid, DATE pubDate = 0.0,
                                        const std::string& title = "") {
  auto item = qxtest::Create<IUpdateItem>(CLSID_UpdateItem);
  item->put_guid(Wide(guid).Get());
  if (!title.empty()) item->put_title(Wide(title).Get());
  if (pubDate != 0.0) item->put_pubDate(pubDate);
  return item;
}

// The value of a property getter; BSTR getters give UTF-8 text.
template <class I, class R>
R Get(I* object, HRESULT (STDMETHODCALLTYPE I::*getter)(R*)) {
  R value{};
  EXPECT_EQ((object->*getter)(&value), S_OK);
  return value;
}
template <class I>
std::string Text(I* object, HRESULT (STDMETHODCALLTYPE I::*getter)(BSTR*)) {
  return qx::Utf16ToUtf8(WideText(object, getter));
}

inline std::string Guid(IUpdateItem* item) { return Text(item, &IUpdateItem::get_guid); }
inline std::string Status(IUpdateItem* item) { return Text(item, &IUpdateItem::get_status); }

// The guids of a list, in its order.
inline std::vector<std::string> Guids(IUpdateItems* list) {
  std::vector<std::string> guids;
  for (const auto& item : Members(list)) guids.push_back(Guid(item.Get()));
  return guids;
}

using ListGetter = HRESULT (STDMETHODCALLTYPE IUpdateCatalog::*)(IUpdateItems**);

inline qx::ComPtr<IUpdateItems> List(IUpdateCatalog* catalog, ListGetter getter) {
  qx::ComPtr<IUpdateItems> list;
  EXPECT_EQ((catalog->*getter)(list.Put()), S_OK);
  return list;
}
inline qx::ComPtr<IUpdateItems> Pending(IUpdateCatalog* c) {
  return List(c, &IUpdateCatalog::get_NotInstalledItems);
}
inline qx::ComPtr<IUpdateItems> Discarded(IUpdateCatalog* c) {
  return List(c, &IUpdateCatalog::get_DiscardedItems);
}
inline qx::ComPtr<IUpdateItems> Installed(IUpdateCatalog* c) {
  return List(c, &IUpdateCatalog::get_InstalledItems);
}

// One feed item: guid, pubDate text (empty for none), required flag.
struct FeedItem {
  std::string guid;
  std::string pubDate;
  bool required = false;
};

// An RSS update feed with one channel per entry of `channels`.
inline std::string FeedXml(const std::vector<std::vector<FeedItem>>& channels) {
  std::string xml = "<?xml version=\"1.0\"?>\n<rss version=\"2.0\">\n";
  int n = 0;
  for (const auto& channel : channels) {
    xml += "<channel><title>Channel</title>\n";
    for (const FeedItem& item : channel) {
      xml += item.required ? "<item required=\"true\">" : "<item>";
      xml += "<title>Title " + std::to_string(++n) + "</title><guid>" + item.guid + "</guid>";
      if (!item.pubDate.empty()) xml += "<pubDate>" + item.pubDate + "</pubDate>";
      xml += "</item>\n";
    }
    xml += "</channel>\n";
  }
  return xml + "</rss>\n";
}

// Writes the feed to a file and parses it into a new document.
inline qx::ComPtr<IUpdateDocument> ParseFeed(const std::string& xml,
                                             const std::string& name = "feed.xml") {
  auto doc = qxtest::Create<IUpdateDocument>(CLSID_UpdateDocument);
  EXPECT_EQ(Parse(doc.Get(), WriteTempFile(name, xml)), S_OK);
  return doc;
}

}  // namespace feedtest

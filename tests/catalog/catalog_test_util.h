// Helpers shared by the catalog and work-unit tests: files, items, lists and
// small feed files.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "feed/feed_date.h"
#include "tests/support/com_test.h"

namespace qxtest::catalog {

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

inline void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

inline std::string Path(const std::string& name) { return TestRoot() + "/" + name; }

inline qx::BStr Wide(const std::string& text) { return qx::BStr::FromUtf8(text); }

// A date from its feed text; fails the test when the text does not read.
inline DATE Date(const std::string& text) {
  DATE date = qx::feed::ParseFeedDate(qx::Utf8ToUtf16(text));
  EXPECT_NE(date, 0.0) << text;
  return date;
}

inline qx::ComPtr<IUpdateItem> MakeItem(const std::string& guid, DATE pubDate = 0.0,
                                        const std::string& title = "") {
  auto item = Create<IUpdateItem>(CLSID_UpdateItem);
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
  qx::BStr value;
  EXPECT_EQ((object->*getter)(value.Put()), S_OK);
  return value.Utf8();
}

inline std::string Guid(IUpdateItem* item) {
  qx::BStr value;
  EXPECT_EQ(item->get_guid(value.Put()), S_OK);
  return value.Utf8();
}

inline std::string Status(IUpdateItem* item) {
  qx::BStr value;
  EXPECT_EQ(item->get_status(value.Put()), S_OK);
  return value.Utf8();
}

inline std::vector<qx::ComPtr<IUpdateItem>> Members(IUpdateItems* list) {
  std::vector<qx::ComPtr<IUpdateItem>> members;
  LONG count = 0;
  EXPECT_EQ(list->get_Count(&count), S_OK);
  for (LONG i = 0; i < count; ++i) {
    qx::ComPtr<IUpdateItem> item;
    EXPECT_EQ(list->Item(i, item.Put()), S_OK);
    members.push_back(item);
  }
  return members;
}

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
  WriteFile(Path(name), xml);
  auto doc = Create<IUpdateDocument>(CLSID_UpdateDocument);
  EXPECT_EQ(doc->Parse(Wide(Path(name)).Get()), S_OK);
  return doc;
}

}  // namespace qxtest::catalog

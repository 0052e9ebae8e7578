// Helpers of the feed tests: feed files in the test's temporary folder, and
// reading documents, channels and items back as plain values.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "qxnet/text.h"
#include "tests/support/com_test.h"

namespace feedtest {

using qx::BStr;
using qx::ComPtr;

inline std::string TempPath(const std::string& name) {
  const char* folder = std::getenv("TMPDIR");
  std::string path = folder ? folder : "/tmp/";
  if (path.empty() || path.back() != '/') path += '/';
  return path + name;
}

inline std::string WriteFile(const std::string& name, const std::string& bytes) {
  const std::string path = TempPath(name);
  std::ofstream(path, std::ios::binary) << bytes;
  return path;
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

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

template <class T>
std::u16string Text(T* object, HRESULT (STDMETHODCALLTYPE T::*get)(BSTR*)) {
  BStr value;
  EXPECT_EQ((object->*get)(value.Put()), S_OK);
  return value.Text();
}

inline ItemValues ValuesOf(IUpdateItem* item) {
  ItemValues v;
  v.title = Text(item, &IUpdateItem::get_title);
  v.link = Text(item, &IUpdateItem::get_link);
  v.description = Text(item, &IUpdateItem::get_description);
  v.guid = Text(item, &IUpdateItem::get_guid);
  v.category = Text(item, &IUpdateItem::get_category);
  EXPECT_EQ(item->get_pubDate(&v.pubDate), S_OK);
  EXPECT_EQ(item->get_required(&v.required), S_OK);
  return v;
}

inline ChannelValues ValuesOf(IUpdateChannel* channel) {
  ChannelValues v;
  v.title = Text(channel, &IUpdateChannel::get_title);
  v.link = Text(channel, &IUpdateChannel::get_link);
  v.description = Text(channel, &IUpdateChannel::get_description);
  ComPtr<IUpdateItems> items;
  EXPECT_EQ(channel->get_items(items.Put()), S_OK);
  if (!items) return v;
  LONG count = 0;
  EXPECT_EQ(items->get_Count(&count), S_OK);
  for (LONG i = 0; i < count; ++i) {
    ComPtr<IUpdateItem> item;
    EXPECT_EQ(items->Item(i, item.Put()), S_OK);
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

// The error record's description after a failed call (the record is taken).
inline std::string LastError() { return qxtest::Narrow(qxtest::TakeErrorRecord().description); }

inline std::u16string W(std::string_view utf8) { return qx::Utf8ToUtf16(utf8); }

}  // namespace feedtest

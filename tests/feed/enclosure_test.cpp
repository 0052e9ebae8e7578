// The payload data of feed items: read by namespace URI whatever the prefix,
// malformed values kept for the verifier to name, and written back so that
// they read the same. A feed without it is written as the save test shows.
#include <gtest/gtest.h>

#include "tests/support/feed_fixture.h"

namespace {

using namespace feedtest;

struct Payload {
  std::u16string url, type, sha256, edSignature;
  LONGLONG length = 0;
  bool operator==(const Payload&) const = default;
};

Payload PayloadOf(IUpdateItem* item) {
  ComPtr<IUpdateItem2> item2;
  EXPECT_EQ(item->QueryInterface(IID_IUpdateItem2, item2.PutVoid()), S_OK);
  Payload p;
  p.url = WideText(item2.Get(), &IUpdateItem2::get_enclosureUrl);
  p.type = WideText(item2.Get(), &IUpdateItem2::get_enclosureType);
  p.sha256 = WideText(item2.Get(), &IUpdateItem2::get_sha256);
  p.edSignature = WideText(item2.Get(), &IUpdateItem2::get_edSignature);
  EXPECT_EQ(item2->get_enclosureLength(&p.length), S_OK);
  return p;
}

std::vector<Payload> PayloadsOf(IUpdateDocument* document) {
  std::vector<Payload> result;
  ComPtr<IUpdateChannels> channels;
  EXPECT_EQ(document->get_channels(channels.Put()), S_OK);
  ComPtr<IUpdateChannel> channel;
  EXPECT_EQ(channels->Item(0, channel.Put()), S_OK);
  ComPtr<IUpdateItems> items;
  EXPECT_EQ(channel->get_items(items.Put()), S_OK);
  for (const auto& item : Members(items.Get())) result.push_back(PayloadOf(item.Get()));
  return result;
}

class EnclosureFeedTest : public qxtest::ComTest {};

TEST_F(EnclosureFeedTest, ReadsByNamespaceUriKeepsMalformedValuesAndSavesThemBack) {
  const std::string feed =
      "<?xml version='1.0'?><rss version='2.0' xmlns:up='urn:qxnet:updates:1'"
      " xmlns:qx='urn:example:other'><channel><title>C</title>"
      // Any prefix bound to the URI; a namespace declared on the element works as well.
      "<item><guid>a</guid><enclosure url='http://h/a.bin?x=1&amp;y=2' length='1024'"
      " type='application/octet-stream' up:sha256='AB01' up:edSignature='c2ln'/></item>"
      "<item><guid>b</guid><enclosure xmlns:z='urn:qxnet:updates:1' url='u' length='7'"
      " z:sha256='cd'/></item>"
      // The "qx" prefix of another namespace, and no prefix at all, are not ours.
      "<item><guid>c</guid><enclosure url='u' length='1' qx:sha256='no' sha256='no'/></item>"
      // A length that is not a decimal count loads as none.
      "<item><guid>d</guid><enclosure url='u' length='12a'/></item>"
      "<item><guid>e</guid><enclosure url='u' length='-5'/></item>"
      "<item><guid>f</guid><enclosure url='u' length='99999999999999999999'/></item>"
      "<item><guid>g</guid><enclosure url='u' length='9223372036854775807'/></item>"
      "<item><guid>h</guid></item>"
      "</channel></rss>";
  const std::vector<Payload> expected = {
      {u"http://h/a.bin?x=1&y=2", u"application/octet-stream", u"AB01", u"c2ln", 1024},
      {u"u", u"", u"cd", u"", 7},
      {u"u", u"", u"", u"", 1},
      {u"u", u"", u"", u"", -1},
      {u"u", u"", u"", u"", -1},
      {u"u", u"", u"", u"", -1},
      {u"u", u"", u"", u"", 9223372036854775807LL},
      {u"", u"", u"", u"", -1},
  };
  auto document = qxtest::Create<IUpdateDocument>(CLSID_UpdateDocument);
  ASSERT_EQ(Parse(document.Get(), WriteTempFile("feed.xml", feed)), S_OK);
  EXPECT_EQ(PayloadsOf(document.Get()), expected);

  const std::string saved = TempPath("saved.xml");
  ASSERT_EQ(Save(document.Get(), saved), S_OK);
  EXPECT_NE(ReadFile(saved).find("<enclosure url=\"http://h/a.bin?x=1&amp;y=2\" length=\"1024\""
                                 " type=\"application/octet-stream\""
                                 " xmlns:qx=\"urn:qxnet:updates:1\" qx:sha256=\"AB01\""
                                 " qx:edSignature=\"c2ln\"></enclosure>"),
            std::string::npos)
      << ReadFile(saved);
  auto again = qxtest::Create<IUpdateDocument>(CLSID_UpdateDocument);
  ASSERT_EQ(Parse(again.Get(), saved), S_OK);
  EXPECT_EQ(PayloadsOf(again.Get()), expected);
}

}  // namespace

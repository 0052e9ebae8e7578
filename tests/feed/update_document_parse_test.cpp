// UpdateDocument.Parse: real-world feeds (channels in file order, namespaced
// extensions), the reading rules of items and the failure messages. Encodings,
// CDATA and entities are the XML reader's own test.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "feed/feed_date.h"
#include "feed/xml_dom/xml_document.h"
#include "tests/support/feed_fixture.h"

namespace {

using feedtest::ChannelsOf;
using feedtest::Parse;
using feedtest::TakeErrorText;
using feedtest::W;
using feedtest::WriteTempFile;
using qx::ComPtr;
using namespace std::literals;

class UpdateDocumentParseTest : public qxtest::ObjectTest<IUpdateDocument, CLSID_UpdateDocument> {
 protected:
  qx::ComPtr<IUpdateDocument>& document = object;
};

// A feed with several namespaces and extension elements beside (and named
// like) the ones read. CDATA, entities and comments are the XML reader's tests.
constexpr const char* kRealisticFeed = R"(<rss xmlns:ext="urn:example:ext">
  <channel>
    <title>Corvane updates</title>
    <link>https://updates.example.com/</link>
    <description>Updates for Corvane</description>
    <ext:title>not the channel title</ext:title>
    <title>a second title is ignored</title>
    <item required="TRUE">
      <ext:guid>extension guid</ext:guid>
      <title>Service pack 2</title>
      <link>https://updates.example.com/sp2</link>
      <guid isPermaLink="false">SP2-0001</guid>
      <category>Service packs</category>
      <pubDate>Tue, 03 Jun 2008 09:39:21 GMT</pubDate>
    </item>
    <item required="yes">
      <title>Hotfix <em>12</em></title>
      <guid>HF-12</guid>
      <pubDate>Tue, 03 Jun 2008 09:39:21 +0000</pubDate>
    </item>
  </channel>
  <ext:channel><title>extension channel</title></ext:channel>
  <channel>
    <title>Beta</title>
    <item><title>Beta 1</title><guid>B1</guid><pubDate>05 Jan 2009 10:00:00</pubDate></item>
  </channel>
</rss>
)";

TEST_F(UpdateDocumentParseTest, RealisticFeedGivesChannelsAndItemsInFileOrder) {
  const std::string path = WriteTempFile("realistic.xml", kRealisticFeed);
  const DATE before = qx::feed::CurrentLocalDate();
  ASSERT_EQ(Parse(document.Get(), path), S_OK) << TakeErrorText();
  const DATE after = qx::feed::CurrentLocalDate();

  const auto channels = ChannelsOf(document.Get());
  ASSERT_EQ(channels.size(), 2u);
  const auto& first = channels[0];
  EXPECT_EQ(
      std::tie(first.title, first.link, first.description),
      std::tuple(u"Corvane updates"s, u"https://updates.example.com/"s, u"Updates for Corvane"s));
  ASSERT_EQ(first.items.size(), 2u);

  const auto& sp2 = first.items[0];
  EXPECT_EQ(std::tie(sp2.title, sp2.link, sp2.guid, sp2.category, sp2.required),
            std::tuple(u"Service pack 2"s, u"https://updates.example.com/sp2"s, u"SP2-0001"s,
                       u"Service packs"s, VARIANT_BOOL(VARIANT_TRUE)));
  EXPECT_EQ(qx::feed::FormatFeedDate(sp2.pubDate), u"Tue, 03 Jun 2008 09:39:21 GMT");

  // Descendants' text is part of the value; a numeric zone is unreadable,
  // so the item keeps the time it was made; "yes" is not true.
  const auto& hotfix = first.items[1];
  EXPECT_EQ(hotfix.title, u"Hotfix 12");
  EXPECT_EQ(hotfix.required, VARIANT_FALSE);
  EXPECT_EQ(hotfix.link, u"");
  EXPECT_GE(hotfix.pubDate, before - 1.0 / 86400);
  EXPECT_LE(hotfix.pubDate, after + 1.0 / 86400);

  EXPECT_EQ(channels[1].title, u"Beta");
  ASSERT_EQ(channels[1].items.size(), 1u);
  EXPECT_EQ(qx::feed::FormatFeedDate(channels[1].items[0].pubDate),
            u"Mon, 05 Jan 2009 10:00:00 GMT");
}

TEST_F(UpdateDocumentParseTest, RssIsFoundAtAnyDepthAndParseAddsToTheDocument) {
  const std::string nested = WriteTempFile(
      "nested.xml",
      "<envelope><meta><rss><channel><title>A</title></channel></rss></meta>"
      "<rss><channel><title>second rss is ignored</title></channel></rss></envelope>");
  ASSERT_EQ(Parse(document.Get(), nested), S_OK) << TakeErrorText();
  ASSERT_EQ(Parse(document.Get(), nested), S_OK) << TakeErrorText();
  const auto channels = ChannelsOf(document.Get());
  ASSERT_EQ(channels.size(), 2u) << "parsing twice gives every channel twice";
  EXPECT_EQ(channels[0].title, u"A");
  EXPECT_EQ(channels[1].title, u"A");

  // An rss element without channels is a feed with nothing in it.
  ASSERT_EQ(Parse(document.Get(), WriteTempFile("empty.xml", "<rss version='2.0'><x/></rss>")),
            S_OK);
  EXPECT_EQ(ChannelsOf(document.Get()).size(), 2u);
}

TEST_F(UpdateDocumentParseTest, GuidsIdentifyItemsPerChannelIgnoringCase) {
  const std::string path = WriteTempFile("guids.xml", R"(<rss>
    <channel>
      <item><title>1</title><guid>ABC-1</guid></item>
      <item><title>2</title><guid>abc-1</guid></item>
      <item><title>3</title></item>
      <item><title>4</title><guid></guid></item>
      <item><title>5</title><guid>xyz</guid></item>
    </channel>
    <channel>
      <item><title>6</title><guid>Abc-1</guid></item>
    </channel>
  </rss>)");
  ASSERT_EQ(Parse(document.Get(), path), S_OK) << TakeErrorText();
  const auto channels = ChannelsOf(document.Get());
  ASSERT_EQ(channels.size(), 2u);
  std::vector<std::u16string> kept;
  for (const auto& channel : channels) {
    for (const auto& item : channel.items) kept.push_back(item.title + u"/" + item.guid);
  }
  EXPECT_EQ(kept, (std::vector<std::u16string>{u"1/ABC-1", u"3/", u"5/xyz", u"6/Abc-1"}));
}

TEST_F(UpdateDocumentParseTest, LongValuesAreCutTo4098Characters) {
  const std::string longTitle(5000, 'T');
  // A surrogate pair straddling the cut is left out whole.
  const std::string straddling = std::string(4097, 'd') + "\xF0\x9F\x9A\x80" + "tail";
  const std::string path =
      WriteTempFile("long.xml", "<rss><channel><title>" + longTitle + "</title><item><guid>" +
                                    std::string(4098, 'g') + "</guid><description>" + straddling +
                                    "</description></item></channel></rss>");
  ASSERT_EQ(Parse(document.Get(), path), S_OK) << TakeErrorText();
  const auto channels = ChannelsOf(document.Get());
  ASSERT_EQ(channels.size(), 1u);
  EXPECT_EQ(channels[0].title, std::u16string(4098, u'T'));
  ASSERT_EQ(channels[0].items.size(), 1u);
  EXPECT_EQ(channels[0].items[0].guid, std::u16string(4098, u'g'));
  EXPECT_EQ(channels[0].items[0].description, std::u16string(4097, u'd'));
}

TEST_F(UpdateDocumentParseTest, MissingFilesAreInvalidFilenames) {
  for (const std::string& name : {std::string(), feedtest::TempPath("absent.xml")}) {
    EXPECT_EQ(Parse(document.Get(), name), E_FAIL);
    EXPECT_EQ(TakeErrorText(), "Invalid filename");
  }
  EXPECT_EQ(document->Parse(nullptr), E_FAIL);
  EXPECT_EQ(TakeErrorText(), "Invalid filename");
  // A name with an embedded zero names no file, even if its first part does.
  const std::string path = WriteTempFile("real.xml", "<rss/>");
  std::u16string withZero = W(path) + std::u16string(1, u'\0') + u"x";
  qx::BStr name(withZero);
  EXPECT_EQ(document->Parse(name.Get()), E_FAIL);
  EXPECT_EQ(TakeErrorText(), "Invalid filename");

  EXPECT_EQ(Parse(document.Get(), WriteTempFile("atom.xml", "<feed><channel/><RSS/></feed>")),
            E_FAIL);
  EXPECT_EQ(TakeErrorText(), "Invalid rss file. Unable to find rss element.");
}

TEST_F(UpdateDocumentParseTest, MalformedFeedsReportTheParseErrorAndPosition) {
  const std::string bad = "<rss><channel><title>x</titel></channel></rss>";
  const std::string path = WriteTempFile("bad.xml", bad);
  qx::xml::Document reference;
  ASSERT_FALSE(reference.load(W(path)));
  const qx::xml::ParseError& error = reference.parseError();
  EXPECT_GT(error.filepos, 0);

  EXPECT_EQ(Parse(document.Get(), path), E_FAIL);
  qxtest::ErrorRecord record = qxtest::TakeErrorRecord();
  EXPECT_EQ(record.description, u"Failed to load file: " + error.reason + u": pos: " +
                                    W(std::to_string(error.filepos)));
  EXPECT_EQ(ChannelsOf(document.Get()).size(), 0u);
}

TEST_F(UpdateDocumentParseTest, UnregisteredClassesAreReportedWithTheirMessages) {
  const std::string path = WriteTempFile(
      "two.xml",
      "<rss><channel><title>kept</title></channel><channel><item><guid>g</guid></item>"
      "</channel></rss>");
  // Without its server the item class cannot be created: the first channel
  // (no items) is kept, the second one stops the parse and is not added.
  const std::u16string itemServer = u"CLSID\\{1BACC645-FB55-4237-B947-0F87DC33FCD4}";
  ASSERT_EQ(RegDeleteTreeW(HKEY_CLASSES_ROOT, itemServer.c_str()), ERROR_SUCCESS);
  EXPECT_TRUE(FAILED(Parse(document.Get(), path)));
  EXPECT_EQ(TakeErrorText(), "Failed to create UpdateItem object");
  auto channels = ChannelsOf(document.Get());
  ASSERT_EQ(channels.size(), 1u);
  EXPECT_EQ(channels[0].title, u"kept");
  ASSERT_EQ(DllRegisterServer(), S_OK);

  // A fresh document whose channel collection cannot be found by name.
  ComPtr<IUpdateDocument> fresh = qxtest::Create<IUpdateDocument>(CLSID_UpdateDocument);
  ASSERT_EQ(RegDeleteTreeW(HKEY_CLASSES_ROOT, u"QXNet.UpdateChannels"), ERROR_SUCCESS);
  EXPECT_TRUE(FAILED(Parse(fresh.Get(), path)));
  EXPECT_EQ(TakeErrorText(), "Failed to create QXNet.UpdateChannels");
  ComPtr<IUpdateChannels> none;
  EXPECT_TRUE(FAILED(fresh->get_channels(none.Put())));
  EXPECT_EQ(TakeErrorText(), "Failed to create QXNet.UpdateChannels");
  ASSERT_EQ(DllRegisterServer(), S_OK);
  EXPECT_EQ(Parse(fresh.Get(), path), S_OK) << TakeErrorText();
  EXPECT_EQ(ChannelsOf(fresh.Get()).size(), 2u);
}

}  // namespace

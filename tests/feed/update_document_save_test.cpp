// UpdateDocument.Save: the written form, the round trip through Parse, and
// failed saves reported for the document.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <tuple>

#include "feed/feed_date.h"
#include "tests/support/feed_fixture.h"

namespace {

using feedtest::ChannelsOf;
using feedtest::Parse;
using feedtest::ReadFile;
using feedtest::Save;
using feedtest::TakeErrorText;
using feedtest::WriteTempFile;
using qx::BStr;
using qx::ComPtr;

class UpdateDocumentSaveTest : public qxtest::ObjectTest<IUpdateDocument, CLSID_UpdateDocument> {
 protected:
  qx::ComPtr<IUpdateDocument>& document = object;

  // Adds a channel with one item per given required value.
  void AddChannel(const std::u16string& title, std::initializer_list<VARIANT_BOOL> required,
                  const std::u16string& description = u"") {
    ComPtr<IUpdateChannels> channels;
    ASSERT_EQ(document->get_channels(channels.Put()), S_OK);
    ComPtr<IUpdateChannel> channel = qxtest::Create<IUpdateChannel>(CLSID_UpdateChannel);
    BStr text(title);
    channel->put_title(text.Get());
    ComPtr<IUpdateItems> items;
    ASSERT_EQ(channel->get_items(items.Put()), S_OK);
    int n = 0;
    for (VARIANT_BOOL value : required) {
      ComPtr<IUpdateItem> item = qxtest::Create<IUpdateItem>(CLSID_UpdateItem);
      BStr guid(title + u"-" + feedtest::W(std::to_string(n++)));
      BStr body(description);
      item->put_guid(guid.Get());
      item->put_description(body.Get());
      item->put_required(value);
      item->put_pubDate(39602.40232638889);  // 3 Jun 2008 09:39:21
      ASSERT_EQ(items->Add(item.Get()), S_OK);
    }
    ASSERT_EQ(channels->Add(channel.Get()), S_OK);
  }
};

TEST_F(UpdateDocumentSaveTest, WritesTheFeedFormWithoutAddedWhitespace) {
  AddChannel(u"A & B", {VARIANT_TRUE, 1});
  const std::string path = feedtest::TempPath("saved.xml");
  ASSERT_EQ(Save(document.Get(), path), S_OK) << TakeErrorText();
  auto itemWith = [](char n) {
    return "<title></title><link></link><description></description><guid>A &amp; B-" +
           std::string(1, n) +
           "</guid><category></category><pubDate>Tue, 03 Jun 2008 09:39:21 GMT</pubDate>";
  };
  EXPECT_EQ(ReadFile(path),
            "<?xml version='1.0'?>\r\n<rss version=\"2.0\"><channel><title>A &amp; B</title>"
            "<link></link><description></description><item required=\"true\">" +
                itemWith('0') + "</item><item>" + itemWith('1') + "</item></channel></rss>\r\n");

  // A document that holds nothing is saved as an rss element without channels.
  ComPtr<IUpdateDocument> empty = qxtest::Create<IUpdateDocument>(CLSID_UpdateDocument);
  ASSERT_EQ(Save(empty.Get(), path), S_OK) << TakeErrorText();
  EXPECT_EQ(ReadFile(path), "<?xml version='1.0'?>\r\n<rss version=\"2.0\"></rss>\r\n");
}

TEST_F(UpdateDocumentSaveTest, SaveThenParseGivesTheSameChannelsAndItems) {
  const std::string source = WriteTempFile("source.xml", R"(<?xml version="1.0"?>
<rss version="2.0"><channel><title>Main &lt;stable&gt;</title><link>https://e.example/</link>
<description><![CDATA[multi
line & "quoted"]]></description>
<item required="true"><title>One</title><link>https://e.example/1?a&amp;b</link>
<description>d1</description><guid>G1</guid><category>c</category>
<pubDate>Wed, 31 Dec 2008 23:59:59 GMT</pubDate></item>
<item><title>Two &#x1F680; &#1;ctl</title><guid>G2</guid><pubDate>Thu, 01 Jan 2009 00:00:00 GMT</pubDate></item>
</channel><channel><title>Empty</title></channel></rss>)");
  ASSERT_EQ(Parse(document.Get(), source), S_OK) << TakeErrorText();
  const auto original = ChannelsOf(document.Get());
  ASSERT_EQ(original.size(), 2u);

  const std::string saved = feedtest::TempPath("copy.xml");
  ASSERT_EQ(Save(document.Get(), saved), S_OK) << TakeErrorText();
  ComPtr<IUpdateDocument> copy = qxtest::Create<IUpdateDocument>(CLSID_UpdateDocument);
  ASSERT_EQ(Parse(copy.Get(), saved), S_OK) << TakeErrorText();
  const auto again = ChannelsOf(copy.Get());

  ASSERT_EQ(again.size(), original.size());
  // Every text, the flag, and the date to the second.
  auto fields = [](const feedtest::ItemValues& v) {
    return std::tuple(v.title, v.link, v.description, v.guid, v.category, v.required,
                      qx::feed::FormatFeedDate(v.pubDate));
  };
  for (size_t c = 0; c < original.size(); ++c) {
    EXPECT_EQ(std::tie(again[c].title, again[c].link, again[c].description),
              std::tie(original[c].title, original[c].link, original[c].description));
    ASSERT_EQ(again[c].items.size(), original[c].items.size());
    for (size_t i = 0; i < original[c].items.size(); ++i) {
      EXPECT_EQ(fields(again[c].items[i]), fields(original[c].items[i])) << c << "/" << i;
    }
  }
  EXPECT_EQ(original[0].items[1].title, u"Two \U0001F680 \u0001ctl");
}

TEST_F(UpdateDocumentSaveTest, FailedSavesAreReportedAndTheDocumentStaysUsable) {
  const std::string folder = feedtest::TempPath("saves");
  std::filesystem::create_directories(folder + "/a-folder");
  const std::string path = WriteTempFile("saves/feed.xml", "<rss>old</rss>");
  AddChannel(u"big", {0, 0, 0}, std::u16string(64 * 1024, u'x'));

  // How a failed write leaves the old file is the DOM's rule, and which
  // interface a record names the object frame's; here the failure is reported.
  EXPECT_TRUE(FAILED(Save(document.Get(), folder + "/a-folder")));
  EXPECT_FALSE(TakeErrorText().empty());
  EXPECT_TRUE(std::filesystem::is_directory(folder + "/a-folder"));
  EXPECT_TRUE(FAILED(Save(document.Get(), folder + "/missing/feed.xml")));
  EXPECT_FALSE(TakeErrorText().empty());
  EXPECT_TRUE(FAILED(document->Save(nullptr)));
  EXPECT_FALSE(TakeErrorText().empty());

  // The document is still usable and the next save replaces the file.
  ASSERT_EQ(Save(document.Get(), path), S_OK) << TakeErrorText();
  ComPtr<IUpdateDocument> copy = qxtest::Create<IUpdateDocument>(CLSID_UpdateDocument);
  ASSERT_EQ(Parse(copy.Get(), path), S_OK) << TakeErrorText();
  const auto channels = ChannelsOf(copy.Get());
  ASSERT_EQ(channels.size(), 1u);
  EXPECT_EQ(channels[0].items.size(), 3u);
  EXPECT_EQ(channels[0].items[0].description.size(), 4098u);
}

}  // namespace

// UpdateDocument.Parse on hostile and broken files: entity bombs and external
// entities, deep nesting, binary, empty and truncated files, folders and
// very large feeds.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <random>
#include <string>

#include "tests/support/feed_fixture.h"

namespace {

using feedtest::ChannelsOf;
using feedtest::Parse;
using feedtest::TakeErrorText;
using feedtest::WriteTempFile;
using qx::ComPtr;
using namespace std::literals;

class UpdateDocumentHostileTest : public qxtest::ObjectTest<IUpdateDocument, CLSID_UpdateDocument> {
 protected:
  qx::ComPtr<IUpdateDocument>& document = object;

  // Parses a file that must be refused as not loadable; returns the message.
  std::string ExpectLoadFailure(const std::string& path) {
    EXPECT_EQ(Parse(document.Get(), path), E_FAIL);
    const std::string message = TakeErrorText();
    EXPECT_EQ(message.rfind("Failed to load file: ", 0), 0u) << message;
    EXPECT_NE(message.find(": pos: "), std::string::npos) << message;
    return message;
  }
};

TEST_F(UpdateDocumentHostileTest, EntityDefinitionsAreNeitherExpandedNorFetched) {
  std::string bomb = "<?xml version=\"1.0\"?>\n<!DOCTYPE rss [\n<!ENTITY lol \"lol\">\n";
  for (int level = 1; level <= 9; ++level) {
    std::string previous = level == 1 ? "lol" : "lol" + std::to_string(level - 1);
    bomb += "<!ENTITY lol" + std::to_string(level) + " \"";
    for (int i = 0; i < 10; ++i) bomb += "&" + previous + ";";
    bomb += "\">\n";
  }
  const std::string secret = WriteTempFile("secret.txt", "TOP-SECRET-CONTENT");
  bomb += "<!ENTITY xxe SYSTEM \"file://" + secret + "\">\n";
  bomb +=
      "]>\n<rss><channel><title>&lol9;</title><item><guid>&xxe;</guid>"
      "<title>a &amp; b</title></item></channel></rss>";

  const HRESULT hr = Parse(document.Get(), WriteTempFile("bomb.xml", bomb));
  if (FAILED(hr)) {
    SUCCEED() << "refused: " << TakeErrorText();
    return;
  }
  const auto channels = ChannelsOf(document.Get());
  ASSERT_EQ(channels.size(), 1u);
  EXPECT_LT(channels[0].title.size(), 100u) << "an entity definition was expanded";
  ASSERT_EQ(channels[0].items.size(), 1u);
  EXPECT_EQ(channels[0].items[0].guid.find(u"TOP-SECRET"), std::u16string::npos)
      << "an external entity was read";
  EXPECT_EQ(channels[0].items[0].title, u"a & b");
}

TEST_F(UpdateDocumentHostileTest, DeepNestingAroundAndInsideTheFeed) {
  constexpr int kDepth = 100000;
  std::string feed;
  feed.reserve(kDepth * 16 + 256);
  feed += "<root>";
  for (int i = 0; i < kDepth; ++i) feed += "<x>";
  feed += "<rss><channel><item><guid>deep</guid><description>start";
  for (int i = 0; i < kDepth; ++i) feed += "<y>";
  feed += "end";
  for (int i = 0; i < kDepth; ++i) feed += "</y>";
  feed += "</description></item></channel></rss>";
  for (int i = 0; i < kDepth; ++i) feed += "</x>";
  feed += "</root>";

  ASSERT_EQ(Parse(document.Get(), WriteTempFile("deep.xml", feed)), S_OK) << TakeErrorText();
  const auto channels = ChannelsOf(document.Get());
  ASSERT_EQ(channels.size(), 1u);
  ASSERT_EQ(channels[0].items.size(), 1u);
  EXPECT_EQ(channels[0].items[0].description, u"startend");

  // Unclosed deep nesting is a load failure, not a crash.
  ExpectLoadFailure(WriteTempFile("deep-open.xml", feed.substr(0, feed.size() / 2)));
}

TEST_F(UpdateDocumentHostileTest, BrokenFilesAreLoadFailures) {
  const std::string feed =
      "<rss><channel><title>t</title><item><guid>g</guid></item></channel></rss>";
  std::string binary(4096, '\0');
  std::mt19937 random(42);
  for (char& c : binary) c = static_cast<char>(random());

  for (const std::string& bytes : {""s, binary, "<rss>\0</rss>"s, feed + feed,
                                   feed.substr(0, feed.size() - 1), feed.substr(0, 3)}) {
    ExpectLoadFailure(WriteTempFile("broken.xml", bytes));
  }
  const std::string folder = feedtest::TempPath("a-folder.xml");
  ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
  const std::string message = ExpectLoadFailure(folder);
  EXPECT_NE(message.find(": pos: 0"), std::string::npos) << message;

  // Nothing half-read is left in the document.
  EXPECT_EQ(ChannelsOf(document.Get()).size(), 0u);
}

TEST_F(UpdateDocumentHostileTest, FiftyMegabyteFeed) {
  // 1,000 items with 25 kB descriptions and payloads each, generated here
  // (under the default limit of 64 MiB on feed files).
  constexpr int kItems = 1000;
  const std::string path = feedtest::TempPath("large.xml");
  {
    std::ofstream out(path, std::ios::binary);
    out << "<?xml version=\"1.0\"?><rss version=\"2.0\" xmlns:ext=\"urn:x\"><channel>"
           "<title>large</title>";
    const std::string body(25 * 1024, 'b');
    for (int i = 0; i < kItems; ++i) {
      out << "<item><title>Item " << i << "</title><guid>G-" << i << "</guid><ext:payload>" << body
          << "</ext:payload><description>" << body << "</description></item>\n";
    }
    out << "</channel></rss>";
  }
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  ASSERT_GT(st.st_size, 50 * 1000 * 1000);

  ASSERT_EQ(Parse(document.Get(), path), S_OK) << TakeErrorText();
  const auto channels = ChannelsOf(document.Get());
  ASSERT_EQ(channels.size(), 1u);
  ASSERT_EQ(channels[0].items.size(), static_cast<size_t>(kItems));
  EXPECT_EQ(channels[0].items[999].title, u"Item 999");
  EXPECT_EQ(channels[0].items[999].description.size(), 4098u);
}

}  // namespace

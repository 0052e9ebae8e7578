// UpdateDocument.Parse on hostile and broken files: binary, empty and
// truncated files, folders and very large feeds. Entities and deep nesting
// are the XML reader's own tests.
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

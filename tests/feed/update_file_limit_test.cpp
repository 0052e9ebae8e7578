// The size limit of feed files: a file over it is refused before it is
// parsed, with a message naming the file and the limit.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/support/feed_fixture.h"

namespace {

using feedtest::ChannelsOf;
using feedtest::Parse;
using feedtest::TakeErrorText;
using feedtest::WriteTempFile;
using qx::ComPtr;

// A well-formed feed of exactly `size` bytes (at least 120).
std::string FeedOfSize(size_t size) {
  const std::string head = "<rss><channel><title>T</title><item><guid>g</guid></item><!--";
  const std::string tail = "--></channel></rss>";
  return head + std::string(size - head.size() - tail.size(), 'x') + tail;
}

class UpdateFileLimitTest : public qxtest::ComTest {
 protected:
  void TearDown() override {
    unsetenv("QXNET_UPDATE_FILE_LIMIT");
    qxtest::ComTest::TearDown();
  }
};

TEST_F(UpdateFileLimitTest, FeedOverTheLimitIsRefusedWithTheFileAndTheLimit) {
  struct Case {
    const char* limit;  // null: the variable is unset
    size_t size;
    bool parsed;
    const char* limitText;
  };
  const Case cases[] = {
      {"1K", 1024, true, nullptr},
      {"1K", 1025, false, "1024"},
      {"2000", 2001, false, "2000"},
      // Not a size: the default of 64 MiB applies.
      {"lots", 4096, true, nullptr},
      {nullptr, 4096, true, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.limit ? c.limit : "unset") + " " + std::to_string(c.size));
    c.limit ? setenv("QXNET_UPDATE_FILE_LIMIT", c.limit, 1) : unsetenv("QXNET_UPDATE_FILE_LIMIT");
    const std::string path = WriteTempFile("limit.xml", FeedOfSize(c.size));
    ComPtr<IUpdateDocument> document = qxtest::Create<IUpdateDocument>(CLSID_UpdateDocument);
    ASSERT_TRUE(document);
    if (c.parsed) {
      EXPECT_EQ(Parse(document.Get(), path), S_OK);
      EXPECT_EQ(ChannelsOf(document.Get()).size(), 1u);
    } else {
      EXPECT_EQ(Parse(document.Get(), path), E_FAIL);
      EXPECT_EQ(TakeErrorText(), "Failed to load file: The file " + path +
                                     " is larger than the limit of " + c.limitText +
                                     " bytes.: pos: 0");
      EXPECT_EQ(ChannelsOf(document.Get()).size(), 0u);
    }
  }
}

}  // namespace

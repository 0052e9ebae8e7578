// The URL record's file name and the cache extension a download asks for.
#include <gtest/gtest.h>

#include "net/download/cache_extension.h"
#include "net/url/url_parts.h"
#include "platform/com/text.h"

namespace {

std::string FileName(const char16_t* url) { return qx::Utf16ToUtf8(qx::net::FileNameOfUrl(url)); }
std::string Extension(const char16_t* url) {
  return qx::Utf16ToUtf8(qx::net::CacheExtensionOfUrl(url));
}

TEST(UrlPartsTest, FileNameIsWhatFollowsTheLastSeparator) {
  EXPECT_EQ(FileName(u"http://host/dir/feed.xml"), "feed.xml");
  EXPECT_EQ(FileName(u"c:\\folder\\setup.exe"), "setup.exe");
  EXPECT_EQ(FileName(u"host:8080"), "8080");
  EXPECT_EQ(FileName(u"http://host/dir/"), "");
  EXPECT_EQ(FileName(u"plain"), "");
  EXPECT_EQ(FileName(u"http://host/a\\b:c"), "c");
}

TEST(UrlPartsTest, CacheExtensionFollowsTheLastDot) {
  EXPECT_EQ(Extension(u"http://host/feed.xml"), "xml");
  EXPECT_EQ(Extension(u"http://host/feed.xml?x=1"), "xml?x=1");
  EXPECT_EQ(Extension(u"http://host/dir/"), "tmp");
  EXPECT_EQ(Extension(u""), "tmp");
  EXPECT_EQ(Extension(u"http://host/file."), "http://host/file.");
  EXPECT_EQ(Extension(u"http://localhost/file"), "http://localhost/file");
}

}  // namespace

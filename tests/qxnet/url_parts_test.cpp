// The URL record's file name and the cache extension a download asks for.
#include <gtest/gtest.h>

#include "net/download/cache_extension.h"
#include "net/url/url_parts.h"
#include "qxnet/text.h"

namespace {

TEST(UrlPartsTest, FileNameAndCacheExtension) {
  const struct {
    const char16_t* url;
    const char* fileName;
    const char* extension;
  } cases[] = {{u"http://host/dir/feed.xml", "feed.xml", "xml"},
               {u"http://host/feed.xml?x=1", "feed.xml?x=1", "xml?x=1"},
               {u"c:\\folder\\setup.exe", "setup.exe", "exe"},
               {u"http://host/a\\b:c", "c", "http://host/a\\b:c"},
               {u"http://host/dir/", "", "tmp"},
               {u"", "", "tmp"},
               {u"http://host/file.", "file.", "http://host/file."},
               {u"http://localhost/file", "file", "http://localhost/file"},
               {u"host:8080", "8080", "host:8080"},
               {u"plain", "", "plain"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fileName);
    EXPECT_EQ(qx::Utf16ToUtf8(qx::net::FileNameOfUrl(c.url)), c.fileName);
    EXPECT_EQ(qx::Utf16ToUtf8(qx::net::CacheExtensionOfUrl(c.url)), c.extension);
  }
}

}  // namespace

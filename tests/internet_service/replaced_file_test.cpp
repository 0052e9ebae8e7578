// A cache file whose entry was replaced or deleted is removed once nothing
// names it: small files at once, large ones by the worker.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "net/internet_service/file_remover.h"
#include "net/internet_service/internet_service.h"
#include "qxnet/text.h"

using namespace qx::inet;
namespace fs = std::filesystem;

namespace {

// A new cache file of `size` bytes (sparse: no disk needed) committed as
// `url`'s entry; its path.
std::string CommitFile(const std::u16string& url, off_t size) {
  char16_t path[MAX_PATH + 1] = {};
  EXPECT_TRUE(CreateUrlCacheEntryW(url.c_str(), 0, u"bin", path, 0)) << GetLastError();
  const std::string file = qx::Utf16ToUtf8(path);
  const int fd = open(file.c_str(), O_WRONLY);
  EXPECT_GE(fd, 0);
  EXPECT_EQ(ftruncate(fd, size), 0);
  close(fd);
  const FILETIME time = FileTimeFromInt64(1000);
  EXPECT_TRUE(CommitUrlCacheEntryW(url.c_str(), path, time, time, NORMAL_CACHE_ENTRY, nullptr, 0,
                                   nullptr, nullptr));
  return file;
}

TEST(ReplacedCacheFile, IsRemovedOnceTheNewEntryIsCommitted) {
  const struct {
    const char* name;
    off_t size;
  } cases[] = {{"small, removed at once", 4096},
               {"large, removed by the worker", kRemoveLaterSize}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::u16string url = u"http://h/replaced/" + qx::Utf8ToUtf16(c.name);
    const std::string first = CommitFile(url, c.size);
    const std::string second = CommitFile(url, c.size);
    WaitForRemovals();
    EXPECT_FALSE(fs::exists(first));
    ASSERT_TRUE(fs::exists(second));
    ASSERT_TRUE(DeleteUrlCacheEntryW(url.c_str()));
    WaitForRemovals();
    EXPECT_FALSE(fs::exists(second));
  }
}

}  // namespace

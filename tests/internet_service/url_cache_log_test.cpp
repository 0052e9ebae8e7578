// The cache index's write-ahead log stays small however many processes
// commit to it, including processes that end without closing anything.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "net/internet_service/internet_service.h"
#include "qxnet/text.h"
#include "tests/support/child_processes.h"
#include "tests/support/com_test.h"

using namespace qx::inet;
namespace fs = std::filesystem;

namespace {

bool CommitNew(const std::string& url) {
  const std::u16string wide = qx::Utf8ToUtf16(url);
  char16_t path[MAX_PATH + 1] = {};
  if (!CreateUrlCacheEntryW(wide.c_str(), 0, u"dat", path, 0)) return false;
  std::ofstream(qx::Utf16ToUtf8(path), std::ios::binary) << url;
  const FILETIME time = FileTimeFromInt64(1000);
  return CommitUrlCacheEntryW(wide.c_str(), path, time, time, NORMAL_CACHE_ENTRY, nullptr, 0,
                              nullptr, nullptr) == TRUE;
}

TEST(UrlCacheLogTest, StaysBoundedAcrossManyProcessesAndCommits) {
  const std::string saved = std::getenv("QXNET_CACHE_DIR");
  const std::string folder = qxtest::TestRoot() + "/log-bound";
  setenv("QXNET_CACHE_DIR", folder.c_str(), 1);
  constexpr int kProcesses = 24;
  constexpr int kCommitsEach = 25;
  // Two at a time, so that one process's checkpoint meets the other's reads;
  // each ends with _exit, as a killed process would.
  for (int round = 0; round < kProcesses / 2; ++round) {
    ASSERT_TRUE(qxtest::InChildProcesses(2, [round](int p) {
      for (int i = 0; i < kCommitsEach; ++i) {
        const std::string url =
            "http://h/" + std::to_string(round) + "/" + std::to_string(p) + "/" + std::to_string(i);
        if (!CommitNew(url) || !CommitNew("http://h/shared")) return false;
      }
      return true;
    }));
  }
  // 1,200 commits of several pages each would leave megabytes of log.
  const fs::path log = folder + "/index.db-wal";
  ASSERT_TRUE(fs::exists(log));
  EXPECT_LE(fs::file_size(log), 2u << 20);
  // Every entry is in the index the next process reads.
  DWORD size = 4096;
  std::vector<char> buffer(size);
  auto* entry = reinterpret_cast<INTERNET_CACHE_ENTRY_INFOW*>(buffer.data());
  EXPECT_TRUE(
      GetUrlCacheEntryInfoExW(u"http://h/11/1/24", entry, &size, nullptr, nullptr, nullptr, 0));
  setenv("QXNET_CACHE_DIR", saved.c_str(), 1);
}

}  // namespace

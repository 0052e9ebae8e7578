// The internet cache: entries, locks, replacement, file names, several
// processes at once and the bound on the index's write-ahead log.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <tuple>

#include "net/internet_service/file_remover.h"
#include "net/internet_service/internet_service.h"
#include "qxnet/text.h"
#include "tests/internet_service/cache_entries.h"
#include "tests/support/child_processes.h"
#include "tests/support/com_test.h"

using namespace qx::inet;
using namespace inettest;
namespace fs = std::filesystem;

namespace {

std::string CacheDir() { return std::getenv("QXNET_CACHE_DIR"); }

// The entry through the size protocol, locking it; empty when not cached.
std::vector<char> Retrieve(const std::u16string& url) {
  DWORD size = 0;
  EXPECT_FALSE(RetrieveUrlCacheEntryFileW(url.c_str(), nullptr, &size, 0));
  if (GetLastError() == ERROR_FILE_NOT_FOUND) return {};
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  std::vector<char> buffer(size);
  EXPECT_TRUE(RetrieveUrlCacheEntryFileW(
      url.c_str(), reinterpret_cast<INTERNET_CACHE_ENTRY_INFOW*>(buffer.data()), &size, 0));
  return buffer;
}

TEST(UrlCacheTest, CommitRetrieveLockInfoReplaceDelete) {
  const std::string name = "http://h/feed.xml";
  const std::u16string url = qx::Utf8ToUtf16(name);
  EXPECT_TRUE(Retrieve(url).empty());
  const std::string file = NewCacheFile(name, "<rss/>", u"xml");
  ASSERT_TRUE(CommitCacheFile(name, file, 123456789));
  auto buffer = Retrieve(url);
  ASSERT_FALSE(buffer.empty());
  const auto& entry = Entry(buffer);
  EXPECT_EQ(std::make_tuple(qx::Utf16ToUtf8(entry.lpszLocalFileName),
                            qx::Utf16ToUtf8(entry.lpszSourceUrlName),
                            FileTimeToInt64(entry.LastModifiedTime), entry.dwSizeLow,
                            entry.dwUseCount /* locked */),
            std::make_tuple(file, name, int64_t{123456789}, DWORD{6}, DWORD{1}));

  // A fixed-size record buffer is too small for the texts.
  INTERNET_CACHE_ENTRY_INFOW fixed{};
  DWORD size = sizeof fixed;
  EXPECT_FALSE(GetUrlCacheEntryInfoExW(url.c_str(), &fixed, &size, nullptr, nullptr, nullptr, 0));
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_GT(size, sizeof fixed);

  // Sync time alone changes under its mask.
  INTERNET_CACHE_ENTRY_INFOW change{};
  change.LastSyncTime = FileTimeFromInt64(777);
  change.LastModifiedTime = FileTimeFromInt64(1);
  ASSERT_TRUE(SetUrlCacheEntryInfoW(url.c_str(), &change, CACHE_ENTRY_SYNCTIME_FC));
  EXPECT_EQ(FileTimeToInt64(Entry(CacheEntryInfo(name)).LastSyncTime), 777);
  EXPECT_EQ(FileTimeToInt64(Entry(CacheEntryInfo(name)).LastModifiedTime), 123456789);
  EXPECT_TRUE(UnlockUrlCacheEntryFileW(url.c_str(), 0));
  EXPECT_TRUE(UnlockUrlCacheEntryFileW(url.c_str(), 0));  // never below zero
  EXPECT_EQ(Entry(CacheEntryInfo(name)).dwUseCount, 0u);

  // A new file replaces the entry and deletes the old file; the same file is kept.
  const std::string second = NewCacheFile(name, "two!", u"xml");
  EXPECT_NE(file, second);
  ASSERT_TRUE(CommitCacheFile(name, second, 2000));
  EXPECT_FALSE(fs::exists(file));
  EXPECT_EQ(qx::Utf16ToUtf8(Entry(CacheEntryInfo(name)).lpszLocalFileName), second);
  ASSERT_TRUE(CommitCacheFile(name, second, 3000));
  EXPECT_TRUE(fs::exists(second));

  EXPECT_TRUE(DeleteUrlCacheEntryW(url.c_str()));
  EXPECT_FALSE(fs::exists(second));
  EXPECT_TRUE(Retrieve(url).empty());
  EXPECT_FALSE(DeleteUrlCacheEntryW(url.c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(UnlockUrlCacheEntryFileW(url.c_str(), 0));
}

// Files too large to remove on the committing thread go to the worker.
TEST(UrlCacheTest, LargeReplacedFileIsRemovedByTheWorker) {
  const std::string url = "http://h/replaced-large";
  auto commitLarge = [&url] {
    const std::string file = NewCacheFile(url, "");
    fs::resize_file(file, kRemoveLaterSize);  // sparse: no disk needed
    EXPECT_TRUE(CommitCacheFile(url, file));
    return file;
  };
  const std::string first = commitLarge();
  const std::string second = commitLarge();
  WaitForRemovals();
  EXPECT_FALSE(fs::exists(first));
  ASSERT_TRUE(fs::exists(second));
  ASSERT_TRUE(DeleteUrlCacheEntryW(qx::Utf8ToUtf16(url).c_str()));
  WaitForRemovals();
  EXPECT_FALSE(fs::exists(second));
}

TEST(UrlCacheTest, HostileNamesStayInsideTheCacheFolder) {
  // 24 hex digits, then at most a dot and 1 to 8 letters or digits.
  const std::regex wellFormed("[0-9a-f]{24}(\\.[A-Za-z0-9]{1,8})?");
  const char16_t* extensions[] = {u"b/../../x",
                                  u"xml?x=/../../etc",
                                  u"../../../etc/passwd",
                                  u"",
                                  nullptr,
                                  u".tmp",
                                  u"\\..\\..\\win",
                                  u"x\ny",
                                  u"averyveryverylongextension"};
  fs::path file;
  for (const char16_t* extension : extensions) {
    char16_t path[MAX_PATH + 1] = {};
    ASSERT_TRUE(CreateUrlCacheEntryW(u"http://h/a.b/../../x", 0, extension, path, 0));
    file = qx::Utf16ToUtf8(path);
    EXPECT_EQ(fs::canonical(file.parent_path()), fs::canonical(CacheDir()));
    EXPECT_TRUE(std::regex_match(file.filename().string(), wellFormed)) << file;
    EXPECT_TRUE(fs::is_regular_file(file));
  }
  EXPECT_EQ(file.extension(), ".averyver");

  // Only files of the cache can be committed.
  const std::string outside = std::string(std::getenv("TMPDIR")) + "/precious.txt";
  std::ofstream(outside) << "keep me";
  EXPECT_FALSE(CommitCacheFile("http://h/a", outside));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  fs::create_symlink(outside, CacheDir() + "/link.txt");
  for (const std::string name : {"/link.txt", "/../precious.txt", "/index.db"}) {
    EXPECT_FALSE(CommitCacheFile("http://h/a", CacheDir() + name)) << name;
  }
  EXPECT_TRUE(fs::exists(outside));
}

// Each child commits its own URLs and one shared URL, and ends with _exit
// as a killed process would.
bool CommitInChild(const std::string& prefix, int commits) {
  for (int i = 0; i < commits; ++i) {
    const std::string own = prefix + std::to_string(i);
    if (!CommitCacheFile(own, NewCacheFile(own, "x", u"dat")) ||
        !CommitCacheFile("http://h/shared", NewCacheFile("http://h/shared", prefix, u"dat"))) {
      return false;
    }
  }
  return true;
}

TEST(UrlCacheTest, TwoProcessesCommittingAtOnce) {
  constexpr int kEach = 40;
  auto own = [](int p) { return "http://h/p" + std::to_string(p) + "/"; };
  EXPECT_TRUE(qxtest::InChildProcesses(2, [&](int p) { return CommitInChild(own(p), kEach); }));
  for (int p = 0; p < 2; ++p) {
    for (int i = 0; i < kEach; ++i) {
      const auto info = CacheEntryInfo(own(p) + std::to_string(i));
      EXPECT_TRUE(fs::exists(qx::Utf16ToUtf8(Entry(info).lpszLocalFileName)));
    }
  }
  EXPECT_TRUE(
      fs::exists(qx::Utf16ToUtf8(Entry(CacheEntryInfo("http://h/shared")).lpszLocalFileName)));
  // Every replaced file of the shared URL was deleted: data files = entries.
  size_t dataFiles = 0;
  for (const auto& item : fs::directory_iterator(CacheDir()))
    dataFiles += item.path().extension() == ".dat";
  EXPECT_EQ(dataFiles, 2u * kEach + 1);
}

TEST(UrlCacheTest, WriteAheadLogStaysBoundedAcrossManyProcesses) {
  const std::string saved = CacheDir();
  const std::string folder = qxtest::TestRoot() + "/log-bound";
  setenv("QXNET_CACHE_DIR", folder.c_str(), 1);
  // Two at a time, so that one process's checkpoint meets the other's reads.
  for (int round = 0; round < 12; ++round) {
    ASSERT_TRUE(qxtest::InChildProcesses(2, [round](int p) {
      return CommitInChild("http://h/" + std::to_string(round) + "/" + std::to_string(p) + "/", 25);
    }));
  }
  // 1,200 commits of several pages each would leave megabytes of log.
  const fs::path log = folder + "/index.db-wal";
  ASSERT_TRUE(fs::exists(log));
  EXPECT_LE(fs::file_size(log), 2u << 20);
  // Every entry is in the index the next process reads.
  CacheEntryInfo("http://h/11/1/24");
  setenv("QXNET_CACHE_DIR", saved.c_str(), 1);
}

}  // namespace

// The internet cache: entries, locks, replacement, file names, several
// processes at once.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>

#include "net/internet_service/internet_service.h"
#include "qxnet/text.h"
#include "tests/support/child_processes.h"

using namespace qx::inet;
namespace fs = std::filesystem;

namespace {

std::string CacheDir() { return std::getenv("QXNET_CACHE_DIR"); }

std::string NewFile(const std::u16string& url, const char16_t* extension,
                    const std::string& content) {
  char16_t path[MAX_PATH + 1] = {};
  EXPECT_TRUE(CreateUrlCacheEntryW(url.c_str(), 0, extension, path, 0)) << GetLastError();
  const std::string file = qx::Utf16ToUtf8(path);
  std::ofstream(file, std::ios::binary) << content;
  return file;
}

bool Commit(const std::u16string& url, const std::string& file, int64_t modified = 1000) {
  const FILETIME time = FileTimeFromInt64(modified);
  return CommitUrlCacheEntryW(url.c_str(), qx::Utf8ToUtf16(file).c_str(), time, time,
                              NORMAL_CACHE_ENTRY, nullptr, 0, nullptr, nullptr) == TRUE;
}

const INTERNET_CACHE_ENTRY_INFOW& Entry(const std::vector<char>& buffer) {
  return *reinterpret_cast<const INTERNET_CACHE_ENTRY_INFOW*>(buffer.data());
}

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

std::vector<char> Info(const std::u16string& url) {
  DWORD size = 4096;
  std::vector<char> buffer(size);
  EXPECT_TRUE(GetUrlCacheEntryInfoExW(url.c_str(),
                                      reinterpret_cast<INTERNET_CACHE_ENTRY_INFOW*>(buffer.data()),
                                      &size, nullptr, nullptr, nullptr, 0));
  return buffer;
}

TEST(UrlCacheTest, CommitRetrieveLockInfoReplaceDelete) {
  const std::u16string url = u"http://h/feed.xml";
  EXPECT_TRUE(Retrieve(url).empty());
  const std::string file = NewFile(url, u"xml", "<rss/>");
  ASSERT_TRUE(Commit(url, file, 123456789));
  auto buffer = Retrieve(url);
  ASSERT_FALSE(buffer.empty());
  EXPECT_EQ(qx::Utf16ToUtf8(Entry(buffer).lpszLocalFileName), file);
  EXPECT_EQ(qx::Utf16ToUtf8(Entry(buffer).lpszSourceUrlName), "http://h/feed.xml");
  EXPECT_EQ(FileTimeToInt64(Entry(buffer).LastModifiedTime), 123456789);
  EXPECT_EQ(Entry(buffer).dwSizeLow, 6u);
  EXPECT_EQ(Entry(buffer).dwUseCount, 1u);  // locked

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
  EXPECT_EQ(FileTimeToInt64(Entry(Info(url)).LastSyncTime), 777);
  EXPECT_EQ(FileTimeToInt64(Entry(Info(url)).LastModifiedTime), 123456789);
  EXPECT_TRUE(UnlockUrlCacheEntryFileW(url.c_str(), 0));
  EXPECT_TRUE(UnlockUrlCacheEntryFileW(url.c_str(), 0));  // never below zero
  EXPECT_EQ(Entry(Info(url)).dwUseCount, 0u);

  // A new file replaces the entry and deletes the old file; the same file is kept.
  const std::string second = NewFile(url, u"xml", "two!");
  EXPECT_NE(file, second);
  ASSERT_TRUE(Commit(url, second, 2000));
  EXPECT_FALSE(fs::exists(file));
  EXPECT_EQ(qx::Utf16ToUtf8(Entry(Info(url)).lpszLocalFileName), second);
  ASSERT_TRUE(Commit(url, second, 3000));
  EXPECT_TRUE(fs::exists(second));

  EXPECT_TRUE(DeleteUrlCacheEntryW(url.c_str()));
  EXPECT_FALSE(fs::exists(second));
  EXPECT_TRUE(Retrieve(url).empty());
  EXPECT_FALSE(DeleteUrlCacheEntryW(url.c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(UnlockUrlCacheEntryFileW(url.c_str(), 0));
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
  EXPECT_FALSE(Commit(u"http://h/a", outside));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  fs::create_symlink(outside, CacheDir() + "/link.txt");
  for (const std::string name : {"/link.txt", "/../precious.txt", "/index.db"}) {
    EXPECT_FALSE(Commit(u"http://h/a", CacheDir() + name)) << name;
  }
  EXPECT_TRUE(fs::exists(outside));
}

TEST(UrlCacheTest, TwoProcessesCommittingAtOnce) {
  constexpr int kEach = 40;
  auto own = [](int process, int i) {
    return qx::Utf8ToUtf16("http://h/p" + std::to_string(process) + "/" + std::to_string(i));
  };
  EXPECT_TRUE(qxtest::InChildProcesses(2, [&](int p) {
    for (int i = 0; i < kEach; ++i) {
      if (!Commit(own(p, i), NewFile(own(p, i), u"dat", "x")) ||
          !Commit(u"http://h/shared", NewFile(u"http://h/shared", u"dat", std::to_string(p)))) {
        return false;
      }
    }
    return true;
  }));
  for (int p = 0; p < 2; ++p) {
    for (int i = 0; i < kEach; ++i)
      EXPECT_TRUE(fs::exists(qx::Utf16ToUtf8(Entry(Info(own(p, i))).lpszLocalFileName)));
  }
  EXPECT_TRUE(fs::exists(qx::Utf16ToUtf8(Entry(Info(u"http://h/shared")).lpszLocalFileName)));
  // Every replaced file of the shared URL was deleted: data files = entries.
  size_t dataFiles = 0;
  for (const auto& item : fs::directory_iterator(CacheDir()))
    dataFiles += item.path().extension() == ".dat";
  EXPECT_EQ(dataFiles, 2u * kEach + 1);
}

}  // namespace

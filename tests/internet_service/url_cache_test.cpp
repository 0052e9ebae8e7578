// The internet cache: entries, locks, replacement, file names, several
// processes at once.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "net/internet_service/internet_service.h"
#include "platform/com/text.h"

using namespace qx::inet;
namespace fs = std::filesystem;

namespace {

std::string CacheDir() { return std::getenv("QXNET_CACHE_DIR"); }

std::string NewFile(const std::u16string& url, const char16_t* extension, const std::string& content) {
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

// The entry through the size protocol; empty buffer when not cached.
std::vector<char> Retrieve(const std::u16string& url) {
  DWORD size = 0;
  EXPECT_FALSE(RetrieveUrlCacheEntryFileW(url.c_str(), nullptr, &size, 0));
  if (GetLastError() == ERROR_FILE_NOT_FOUND) return {};
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  std::vector<char> buffer(size);
  auto* entry = reinterpret_cast<INTERNET_CACHE_ENTRY_INFOW*>(buffer.data());
  EXPECT_TRUE(RetrieveUrlCacheEntryFileW(url.c_str(), entry, &size, 0));
  return buffer;
}

const INTERNET_CACHE_ENTRY_INFOW& Entry(const std::vector<char>& buffer) {
  return *reinterpret_cast<const INTERNET_CACHE_ENTRY_INFOW*>(buffer.data());
}

TEST(UrlCacheTest, CommitRetrieveLockInfoDelete) {
  const std::u16string url = u"http://h/feed.xml";
  EXPECT_TRUE(Retrieve(url).empty());
  DWORD size = 0;
  EXPECT_FALSE(GetUrlCacheEntryInfoExW(url.c_str(), nullptr, &size, nullptr, nullptr, nullptr, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

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
  size = sizeof fixed;
  EXPECT_FALSE(GetUrlCacheEntryInfoExW(url.c_str(), &fixed, &size, nullptr, nullptr, nullptr, 0));
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_GT(size, sizeof fixed);

  // Sync time alone changes under its mask.
  INTERNET_CACHE_ENTRY_INFOW change{};
  change.LastSyncTime = FileTimeFromInt64(777);
  change.LastModifiedTime = FileTimeFromInt64(1);
  ASSERT_TRUE(SetUrlCacheEntryInfoW(url.c_str(), &change, CACHE_ENTRY_SYNCTIME_FC));
  std::vector<char> info(size);
  ASSERT_TRUE(GetUrlCacheEntryInfoExW(url.c_str(), reinterpret_cast<INTERNET_CACHE_ENTRY_INFOW*>(info.data()),
                                      &size, nullptr, nullptr, nullptr, 0));
  EXPECT_EQ(FileTimeToInt64(Entry(info).LastSyncTime), 777);
  EXPECT_EQ(FileTimeToInt64(Entry(info).LastModifiedTime), 123456789);
  EXPECT_EQ(Entry(info).dwUseCount, 1u);

  EXPECT_TRUE(UnlockUrlCacheEntryFileW(url.c_str(), 0));
  EXPECT_TRUE(UnlockUrlCacheEntryFileW(url.c_str(), 0));  // never below zero
  ASSERT_TRUE(GetUrlCacheEntryInfoExW(url.c_str(), reinterpret_cast<INTERNET_CACHE_ENTRY_INFOW*>(info.data()),
                                      &size, nullptr, nullptr, nullptr, 0));
  EXPECT_EQ(Entry(info).dwUseCount, 0u);

  EXPECT_TRUE(DeleteUrlCacheEntryW(url.c_str()));
  EXPECT_FALSE(fs::exists(file));
  EXPECT_TRUE(Retrieve(url).empty());
  EXPECT_FALSE(DeleteUrlCacheEntryW(url.c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(UnlockUrlCacheEntryFileW(url.c_str(), 0));
}

TEST(UrlCacheTest, RecommitReplacesEntryAndItsFile) {
  const std::u16string url = u"http://h/setup.exe";
  const std::string first = NewFile(url, u"exe", "one");
  ASSERT_TRUE(Commit(url, first));
  const std::string second = NewFile(url, u"exe", "two!");
  EXPECT_NE(first, second);
  ASSERT_TRUE(Commit(url, second, 2000));
  EXPECT_FALSE(fs::exists(first));
  auto buffer = Retrieve(url);
  EXPECT_EQ(qx::Utf16ToUtf8(Entry(buffer).lpszLocalFileName), second);
  EXPECT_EQ(FileTimeToInt64(Entry(buffer).LastModifiedTime), 2000);
  // Committing the same file again keeps it.
  ASSERT_TRUE(Commit(url, second, 3000));
  EXPECT_TRUE(fs::exists(second));
}

TEST(UrlCacheTest, HostileExtensionsStayInsideTheCacheFolder) {
  // 24 hex digits, then at most a dot and 1 to 8 letters or digits.
  auto wellFormed = [](const std::string& name) {
    if (name.size() < 24) return false;
    for (size_t i = 0; i < 24; ++i) {
      if (!std::isxdigit(static_cast<unsigned char>(name[i])) || std::isupper(static_cast<unsigned char>(name[i]))) return false;
    }
    if (name.size() == 24) return true;
    if (name[24] != '.' || name.size() < 26 || name.size() > 33) return false;
    for (size_t i = 25; i < name.size(); ++i) {
      if (!std::isalnum(static_cast<unsigned char>(name[i]))) return false;
    }
    return true;
  };
  const char16_t* extensions[] = {u"b/../../x", u"xml?x=/../../etc", u"../../../etc/passwd",
                                  u"", nullptr, u"averyveryverylongextension", u".tmp",
                                  u"\\..\\..\\win", u"x\ny"};
  for (const char16_t* extension : extensions) {
    char16_t path[MAX_PATH + 1] = {};
    ASSERT_TRUE(CreateUrlCacheEntryW(u"http://h/a.b/../../x", 0, extension, path, 0));
    const fs::path file(qx::Utf16ToUtf8(path));
    EXPECT_EQ(fs::canonical(file.parent_path()), fs::canonical(CacheDir()));
    EXPECT_TRUE(wellFormed(file.filename().string())) << file;
    EXPECT_TRUE(fs::is_regular_file(file));
  }
  char16_t path[MAX_PATH + 1] = {};
  ASSERT_TRUE(CreateUrlCacheEntryW(u"http://h/x", 0, u"averyveryverylongextension", path, 0));
  EXPECT_EQ(fs::path(qx::Utf16ToUtf8(path)).extension(), ".averyver");
}

TEST(UrlCacheTest, OnlyFilesOfTheCacheCanBeCommitted) {
  const std::string outside = std::string(std::getenv("TMPDIR")) + "/precious.txt";
  std::ofstream(outside) << "keep me";
  EXPECT_FALSE(Commit(u"http://h/a", outside));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  const std::string link = CacheDir() + "/link.txt";
  fs::create_symlink(outside, link);
  EXPECT_FALSE(Commit(u"http://h/a", link));
  EXPECT_FALSE(Commit(u"http://h/a", CacheDir() + "/../precious.txt"));
  EXPECT_FALSE(Commit(u"http://h/a", CacheDir() + "/index.db"));
  EXPECT_TRUE(fs::exists(outside));
}

TEST(UrlCacheTest, TwoProcessesCommittingAtOnce) {
  constexpr int kEach = 40;
  auto work = [](int process) {
    for (int i = 0; i < kEach; ++i) {
      const std::u16string own = qx::Utf8ToUtf16("http://h/p" + std::to_string(process) + "/" + std::to_string(i));
      const std::u16string shared = u"http://h/shared";
      if (!Commit(own, NewFile(own, u"dat", "x"))) return 1;
      if (!Commit(shared, NewFile(shared, u"dat", std::to_string(process)))) return 1;
    }
    return 0;
  };
  pid_t children[2];
  for (int p = 0; p < 2; ++p) {
    children[p] = fork();
    ASSERT_GE(children[p], 0);
    if (children[p] == 0) _exit(work(p));
  }
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  for (int p = 0; p < 2; ++p) {
    for (int i = 0; i < kEach; ++i) {
      const std::u16string own = qx::Utf8ToUtf16("http://h/p" + std::to_string(p) + "/" + std::to_string(i));
      auto buffer = Retrieve(own);
      ASSERT_FALSE(buffer.empty());
      EXPECT_TRUE(fs::exists(qx::Utf16ToUtf8(Entry(buffer).lpszLocalFileName)));
    }
  }
  auto shared = Retrieve(u"http://h/shared");
  ASSERT_FALSE(shared.empty());
  EXPECT_TRUE(fs::exists(qx::Utf16ToUtf8(Entry(shared).lpszLocalFileName)));
  // Every replaced file of the shared URL was deleted: data files = entries.
  size_t dataFiles = 0;
  for (const auto& item : fs::directory_iterator(CacheDir())) {
    if (item.path().extension() == ".dat") ++dataFiles;
  }
  EXPECT_EQ(dataFiles, 2u * kEach + 1);
}

}  // namespace

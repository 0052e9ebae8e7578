// Keeping the internet cache in bounds: eviction to a limit, the sweep of
// orphans, and indexes that are damaged or of an older layout.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "net/internet_service/internet_service.h"
#include "net/internet_service/url_cache_admin.h"
#include "net/internet_service/url_cache_index.h"
#include "qxnet/text.h"
#include "tests/internet_service/cache_entries.h"
#include "tests/support/com_test.h"

using namespace qx::inet;
namespace fs = std::filesystem;

namespace {

// A new, empty cache folder for this test; the index moves with it.
std::string FreshCacheFolder(const std::string& name) {
  const std::string folder = qxtest::TestRoot() + "/upkeep-" + name;
  fs::remove_all(folder);
  fs::create_directories(folder);
  setenv("QXNET_CACHE_DIR", folder.c_str(), 1);
  return folder;
}

std::string CommitNew(const std::string& url, size_t bytes) {
  return inettest::CommitNew(url, std::string(bytes, 'x'));
}

// Marks the entry as used now, as a retrieval does.
void Use(const std::string& url) {
  const std::u16string wide = qx::Utf8ToUtf16(url);
  std::vector<char> buffer(4096);
  DWORD size = static_cast<DWORD>(buffer.size());
  ASSERT_TRUE(RetrieveUrlCacheEntryFileW(
      wide.c_str(), reinterpret_cast<INTERNET_CACHE_ENTRY_INFOW*>(buffer.data()), &size, 0));
  ASSERT_TRUE(UnlockUrlCacheEntryFileW(wide.c_str(), 0));
}

std::vector<std::string> ListedUrls() {
  std::vector<CacheListing> listing;
  EXPECT_TRUE(ListUrlCache(listing)) << GetLastError();
  std::vector<std::string> urls;
  for (const auto& entry : listing) urls.push_back(entry.url + (entry.partial ? " (partial)" : ""));
  std::sort(urls.begin(), urls.end());
  return urls;
}

// Holds a file open for writing with the writer's lock, as a download does.
class Writer {
 public:
  explicit Writer(const std::string& path) : fd_(open(path.c_str(), O_WRONLY | O_CLOEXEC)) {
    EXPECT_EQ(flock(fd_, LOCK_EX | LOCK_NB), 0);
  }
  ~Writer() { close(fd_); }

 private:
  int fd_;
};

void SetAge(const std::string& path, int seconds) {
  const struct timespec when[2] = {{time(nullptr) - seconds, 0}, {time(nullptr) - seconds, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), when, 0), 0);
}

void RunSql(const std::string& database, const char* sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(database.c_str(), &db), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
  sqlite3_close(db);
}

// Closes this process's index connection by moving to another folder, so
// that the next use opens (and sweeps) `folder` anew.
void Reopen(const std::string& folder) {
  FreshCacheFolder("elsewhere");
  ListedUrls();
  setenv("QXNET_CACHE_DIR", folder.c_str(), 1);
}

TEST(CacheUpkeepTest, TrimRemovesLeastRecentlyUsedFirstAndKeepsTheNewest) {
  FreshCacheFolder("trim");
  const std::string a = CommitNew("http://h/a", 400);
  const std::string b = CommitNew("http://h/b", 400);
  const std::string c = CommitNew("http://h/c", 400);
  Use("http://h/a");  // b is now the least recently used
  PartialDownload partial{inettest::NewCacheFile("http://h/p", std::string(300, 'x')), "\"v\"",
                          1000};
  ASSERT_TRUE(RecordPartialDownload("http://h/p", partial));
  {
    // A partial download being written is never taken, whatever its age.
    Writer writing(partial.path);
    ASSERT_TRUE(TrimUrlCache(1200, "http://h/c"));
    EXPECT_EQ(ListedUrls(),
              (std::vector<std::string>{"http://h/a", "http://h/c", "http://h/p (partial)"}));
    EXPECT_FALSE(fs::exists(b));
    ASSERT_TRUE(TrimUrlCache(0, "http://h/c"));
    EXPECT_EQ(ListedUrls(), (std::vector<std::string>{"http://h/c", "http://h/p (partial)"}));
    EXPECT_FALSE(fs::exists(a));
  }
  // The entry just committed stays even when it alone is over the limit.
  ASSERT_TRUE(TrimUrlCache(0, "http://h/c"));
  EXPECT_EQ(ListedUrls(), std::vector<std::string>{"http://h/c"});
  EXPECT_TRUE(fs::exists(c));
  EXPECT_FALSE(fs::exists(partial.path));
}

// Between passes over the entries the trim keeps a count of their bytes:
// what this process adds raises it, a commit by any other connection has it
// counted anew.
TEST(CacheUpkeepTest, TrimCountsWhatThisAndOtherProcessesAdd) {
  const std::string folder = FreshCacheFolder("trim-count");
  CommitNew("http://h/a", 400);
  ASSERT_TRUE(TrimUrlCache(1000, ""));
  // Another process's entry, the least recently used.
  RunSql(folder + "/index.db",
         "INSERT INTO entries (url, file, size)"
         " VALUES ('http://h/other', 'cccccccccccccccccccccccc', 700);");
  ASSERT_TRUE(TrimUrlCache(1000, ""));
  EXPECT_EQ(ListedUrls(), std::vector<std::string>{"http://h/a"});
  ASSERT_TRUE(TrimUrlCache(1000, ""));
  CommitNew("http://h/b", 400);
  ASSERT_TRUE(TrimUrlCache(1000, "http://h/b"));
  CommitNew("http://h/c", 400);
  ASSERT_TRUE(TrimUrlCache(1000, "http://h/c"));
  EXPECT_EQ(ListedUrls(), (std::vector<std::string>{"http://h/b", "http://h/c"}));
}

TEST(CacheUpkeepTest, SweepRemovesOldOrphansAndEntriesWithoutFiles) {
  const std::string folder = FreshCacheFolder("sweep");
  const std::string kept = CommitNew("http://h/kept", 10);
  const std::string lost = CommitNew("http://h/lost", 10);
  fs::remove(lost);
  const std::string oldOrphan = folder + "/00112233445566778899aabb.bin";
  const std::string youngOrphan = folder + "/ffeeddccbbaa998877665544";
  const std::string oldBeingWritten = folder + "/0123456789abcdef01234567.tmp";
  const std::string notOurs = folder + "/notes.txt";
  for (const std::string& path : {oldOrphan, youngOrphan, oldBeingWritten, notOurs}) {
    std::ofstream(path) << "planted";
  }
  for (const std::string& path : {oldOrphan, oldBeingWritten, notOurs, kept})
    SetAge(path, 2 * 3600);
  Writer writing(oldBeingWritten);
  // The last sweep was more than a day ago.
  RunSql(folder + "/index.db", "UPDATE upkeep SET value = 0 WHERE name = 'last_sweep';");
  Reopen(folder);

  EXPECT_EQ(ListedUrls(), std::vector<std::string>{"http://h/kept"});
  EXPECT_TRUE(fs::exists(kept));
  EXPECT_FALSE(fs::exists(oldOrphan));
  for (const std::string& path : {youngOrphan, oldBeingWritten, notOurs}) {
    EXPECT_TRUE(fs::exists(path)) << path;
  }

  // At most once a day: a new orphan stays until the next day's sweep.
  std::ofstream(oldOrphan) << "again";
  SetAge(oldOrphan, 2 * 3600);
  Reopen(folder);
  ListedUrls();
  EXPECT_TRUE(fs::exists(oldOrphan));
}

TEST(CacheUpkeepTest, DamagedOrOlderIndexesAreRebuiltAndCurrentOnesKept) {
  struct Case {
    const char* name;
    const char* sql;      // run on a new index file, or nullptr
    const char* garbage;  // written as the index file, or nullptr
    std::vector<std::string> listed;
    // A current index whose table of entries gets a page of garbage: only
    // reading the entries finds it, not opening the index.
    bool damagedEntries = false;
    bool commitFirst = false;  // the first use writes an entry
  };
  const Case cases[] = {
      {"garbage", nullptr, "this is not a database at all, just some bytes", {}},
      {"older-layout",
       "CREATE TABLE entries (url TEXT PRIMARY KEY, file TEXT);"
       "INSERT INTO entries VALUES ('http://h/old', 'aaaaaaaaaaaaaaaaaaaaaaaa');",
       nullptr,
       {}},
      // The layout before partial downloads: its entries stay readable.
      {"previous-version",
       "CREATE TABLE entries (url TEXT PRIMARY KEY NOT NULL, file TEXT NOT NULL,"
       " extension TEXT NOT NULL DEFAULT '', entry_type INTEGER NOT NULL DEFAULT 1,"
       " size INTEGER NOT NULL DEFAULT 0, last_modified INTEGER NOT NULL DEFAULT 0,"
       " expire INTEGER NOT NULL DEFAULT 0, last_access INTEGER NOT NULL DEFAULT 0,"
       " last_sync INTEGER NOT NULL DEFAULT 0, lock_count INTEGER NOT NULL DEFAULT 0,"
       " hits INTEGER NOT NULL DEFAULT 0);"
       "INSERT INTO entries (url, file, size) VALUES ('http://h/kept', 'bbbbbbbbbbbbbbbbbbbbbbbb', "
       "3);",
       nullptr,
       {"http://h/kept"}},
      {"damaged-entries", nullptr, nullptr, {}, true},
      {"damaged-entries-then-commit", nullptr, nullptr, {}, true, true},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    const std::string folder = FreshCacheFolder(test.name);
    std::ofstream(folder + "/bbbbbbbbbbbbbbbbbbbbbbbb") << "abc";
    if (test.garbage) std::ofstream(folder + "/index.db") << test.garbage;
    if (test.sql) RunSql(folder + "/index.db", test.sql);
    if (test.damagedEntries) {
      CommitNew("http://h/lost", 3);
      Reopen(folder);
      RunSql(folder + "/index.db", "PRAGMA wal_checkpoint(TRUNCATE);");
      // Page 2 is the first table made, the entries'.
      std::fstream index(folder + "/index.db", std::ios::in | std::ios::out | std::ios::binary);
      index.seekp(4096);
      index << std::string(4096, '\xFF');
    }
    Reopen(folder);
    if (test.commitFirst) {
      CommitNew("http://h/new", 5);
      EXPECT_EQ(ListedUrls(), std::vector<std::string>{"http://h/new"});
      continue;
    }
    EXPECT_EQ(ListedUrls(), test.listed);
    // The rebuilt index takes new entries.
    CommitNew("http://h/new", 5);
    EXPECT_EQ(ListedUrls().size(), test.listed.size() + 1);
  }
}

}  // namespace

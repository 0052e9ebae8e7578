// Upkeep of the internet cache folder: the daily sweep of files no entry
// names, the trim to the size limit, clearing and listing.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <set>

#include "net/internet_service/file_remover.h"
#include "net/internet_service/internet_service.h"
#include "net/internet_service/url_cache_admin.h"
#include "net/internet_service/url_cache_db.h"

namespace qx::inet {
namespace {

constexpr int64_t kSweepInterval = int64_t{24} * 3600;  // seconds between sweeps of one folder
constexpr int64_t kOrphanAge = 3600;                    // seconds an unnamed file is left alone

// Names the cache gives its files: 24 hexadecimal digits, then optionally a
// '.' and up to 8 letters or digits. Nothing else in the folder is touched.
bool IsCacheFileName(const std::string& name) {
  if (name.size() < 24) return false;
  for (size_t i = 0; i < 24; ++i) {
    const char c = name[i];
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  if (name.size() == 24) return true;
  if (name[24] != '.' || name.size() == 25 || name.size() > 33) return false;
  for (size_t i = 25; i < name.size(); ++i) {
    const char c = name[i];
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))) return false;
  }
  return true;
}

int64_t FileSize(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0 ? static_cast<int64_t>(info.st_size) : 0;
}

int64_t Now() { return FileTimeToInt64(GetSystemTimeAsFileTime()); }

bool StepDone(sqlite3* db, Statement& statement) {
  const int rc = statement.Step();
  return rc == SQLITE_DONE || SqliteFailure(db, rc);
}

bool DeleteRow(sqlite3* db, bool partial, const std::string& url, const std::string& file) {
  Statement remove(db, partial ? "DELETE FROM partials WHERE url = ?1 AND file = ?2;"
                               : "DELETE FROM entries WHERE url = ?1 AND file = ?2;");
  if (!remove.ok()) return SqliteFailure(db, remove.rc());
  remove.Bind(1, url).Bind(2, file);
  return StepDone(db, remove);
}

// Every entry and partial download, least recently used first.
struct Row {
  std::string url, file;
  int64_t size, lastModified, lastAccess;
  bool partial;
};

bool ReadRows(sqlite3* db, const std::string& folder, std::vector<Row>& rows) {
  Statement read(db,
                 "SELECT url, file, size, last_modified, last_access, 0 FROM entries"
                 " UNION ALL SELECT url, file, 0, 0, last_access, 1 FROM partials"
                 " ORDER BY 5, 1;");
  if (!read.ok()) return SqliteFailure(db, read.rc());
  for (;;) {
    const int rc = read.Step();
    if (rc == SQLITE_DONE) return true;
    if (rc != SQLITE_ROW) return SqliteFailure(db, rc);
    Row row{read.Text(0), read.Text(1), read.Int(2), read.Int(3), read.Int(4), read.Int(5) != 0};
    if (row.partial) row.size = FileSize(folder + "/" + row.file);
    rows.push_back(std::move(row));
  }
}

// The bytes the cache holds: its entries' recorded sizes (or an upper bound
// of them, see EntryBytes) and the partial downloads' files as they are now.
bool StoredBytes(sqlite3* db, const std::string& folder, bool exact, uint64_t& total) {
  if (!EntryBytes(db, exact, total)) return false;
  Statement partials(db, "SELECT file FROM partials;");
  if (!partials.ok()) return SqliteFailure(db, partials.rc());
  for (;;) {
    const int step = partials.Step();
    if (step == SQLITE_DONE) return true;
    if (step != SQLITE_ROW) return SqliteFailure(db, step);
    total += static_cast<uint64_t>(FileSize(folder + "/" + partials.Text(0)));
  }
}

bool DataVersion(sqlite3* db, int64_t& version) {
  Statement read(db, "PRAGMA data_version;");
  if (!read.ok()) return SqliteFailure(db, read.rc());
  const int rc = read.Step();
  if (rc != SQLITE_ROW) return SqliteFailure(db, rc);
  version = read.Int(0);
  return true;
}

bool SweepIsDue(sqlite3* db, int64_t now) {
  Statement read(db, "SELECT value FROM upkeep WHERE name = 'last_sweep';");
  if (!read.ok()) return SqliteFailure(db, read.rc());
  const int rc = read.Step();
  if (rc == SQLITE_DONE) return true;
  if (rc != SQLITE_ROW) return SqliteFailure(db, rc);
  const int64_t last = read.Int(0);
  return last > now || now - last >= kSweepInterval;
}

bool Sweep(sqlite3* db, const std::string& folder, int64_t now) {
  std::vector<Row> rows;
  if (!ReadRows(db, folder, rows)) return false;
  std::set<std::string> named;
  const std::string prefix = folder + "/";
  for (const Row& row : rows) {
    const std::string path = prefix + row.file;
    struct stat info {};
    const bool gone = lstat(path.c_str(), &info) != 0;
    const bool expired =
        row.partial && Now() - row.lastAccess >= kPartialLifetimeTicks && !IsFileBeingWritten(path);
    if (gone || expired) {
      if (!DeleteRow(db, row.partial, row.url, row.file)) return false;
      if (expired) unlink(path.c_str());
      continue;
    }
    named.insert(row.file);
  }
  if (DIR* dir = opendir(folder.c_str())) {
    while (const dirent* item = readdir(dir)) {
      const std::string name = item->d_name;
      if (!IsCacheFileName(name) || named.count(name) != 0) continue;
      const std::string path = prefix + name;
      struct stat info {};
      if (lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
      if (now - static_cast<int64_t>(info.st_mtime) < kOrphanAge || IsFileBeingWritten(path))
        continue;
      unlink(path.c_str());
    }
    closedir(dir);
  }
  Statement stamp(db, "INSERT OR REPLACE INTO upkeep (name, value) VALUES ('last_sweep', ?1);");
  if (!stamp.ok()) return SqliteFailure(db, stamp.rc());
  stamp.Bind(1, now);
  return StepDone(db, stamp);
}

}  // namespace

bool EntryBytes(sqlite3* db, bool exact, uint64_t& bytes) {
  // Summing the sizes reads every entry. The data version changes only when
  // another connection commits, and this process's own additions raise the
  // bound as they are made (its removals only lower the true sum), so while
  // it stays the same the bound holds without a pass over the entries.
  IndexMemo* memo = MemoOf(db);
  int64_t version = 0;
  if (memo != nullptr && !DataVersion(db, version)) return false;
  if (memo != nullptr && !exact && memo->entryBytesBound >= 0 &&
      memo->entryBytesVersion == version) {
    bytes = static_cast<uint64_t>(memo->entryBytesBound);
    return true;
  }
  Statement entries(db, "SELECT COALESCE(SUM(size), 0) FROM entries;");
  if (!entries.ok()) return SqliteFailure(db, entries.rc());
  const int rc = entries.Step();
  if (rc != SQLITE_ROW) return SqliteFailure(db, rc);
  const int64_t sum = std::max<int64_t>(entries.Int(0), 0);
  bytes = static_cast<uint64_t>(sum);
  if (memo != nullptr) {
    memo->entryBytesBound = sum;
    memo->entryBytesVersion = version;
  }
  return true;
}

void NoteEntryBytesAdded(sqlite3* db, int64_t size) {
  IndexMemo* memo = MemoOf(db);
  if (memo != nullptr && memo->entryBytesBound >= 0)
    memo->entryBytesBound += std::max<int64_t>(size, 0);
}

void SweepCacheFolderIfDue(sqlite3* db, const std::string& folder) {
  const int64_t now = static_cast<int64_t>(std::time(nullptr));
  // Most openings find no sweep due: a plain read tells, without the write
  // lock; the transaction asks again, as another process may have swept.
  if (!SweepIsDue(db, now) || !Execute(db, "BEGIN IMMEDIATE;")) return;
  // The sweep is best effort: a failure leaves the index as it was.
  const bool ok = SweepIsDue(db, now) && Sweep(db, folder, now);
  if (!ok || !Execute(db, "COMMIT;")) sqlite3_exec(db, "ROLLBACK;", nullptr, nullptr, nullptr);
}

bool ListUrlCache(std::vector<CacheListing>& listing) {
  return InCacheRead([&](sqlite3* db, const std::string& folder) {
    listing.clear();
    std::vector<Row> rows;
    if (!ReadRows(db, folder, rows)) return false;
    for (const Row& row : rows) {
      listing.push_back({row.url, folder + "/" + row.file, row.size, row.lastModified,
                         row.lastAccess, row.partial});
    }
    return true;
  });
}

bool ClearUrlCache(size_t* removed) {
  std::vector<std::string> doomed;
  const bool ok = InCacheTransaction([&](sqlite3* db, const std::string& folder) {
    doomed.clear();
    std::vector<Row> rows;
    if (!ReadRows(db, folder, rows)) return false;
    for (const Row& row : rows) {
      const std::string path = folder + "/" + row.file;
      if (row.partial && IsFileBeingWritten(path)) continue;
      if (!DeleteRow(db, row.partial, row.url, row.file)) return false;
      doomed.push_back(path);
    }
    return true;
  });
  if (!ok) return false;
  for (const std::string& path : doomed) unlink(path.c_str());
  if (removed != nullptr) *removed = doomed.size();
  return true;
}

bool TrimUrlCache(uint64_t limit, const std::string& keepUrl) {
  // Within the limit (the usual case): a read tells, without the write lock.
  bool within = false;
  const bool read = InCacheRead([&](sqlite3* db, const std::string& folder) {
    uint64_t held = 0;
    if (!StoredBytes(db, folder, false, held)) return false;
    within = held <= limit;
    return true;
  });
  if (!read) return false;
  if (within) return true;
  std::vector<std::string> doomed;
  const bool ok = InCacheTransaction([&](sqlite3* db, const std::string& folder) {
    doomed.clear();
    // Exact now; another process may have trimmed meanwhile.
    uint64_t held = 0;
    if (!StoredBytes(db, folder, true, held)) return false;
    if (held <= limit) return true;
    std::vector<Row> rows;
    if (!ReadRows(db, folder, rows)) return false;
    uint64_t total = 0;
    std::multiset<std::string> users;  // an entry's file may be named twice
    for (const Row& row : rows) {
      total += static_cast<uint64_t>(row.size);
      users.insert(row.file);
    }
    for (const Row& row : rows) {
      if (total <= limit) break;
      const std::string path = folder + "/" + row.file;
      if (!row.partial && row.url == keepUrl) continue;
      if (row.partial && IsFileBeingWritten(path)) continue;
      if (!DeleteRow(db, row.partial, row.url, row.file)) return false;
      total -= std::min<uint64_t>(total, static_cast<uint64_t>(row.size));
      users.erase(users.find(row.file));
      if (users.count(row.file) == 0) doomed.push_back(path);
    }
    // The bound counted what went; the next check counts again.
    if (IndexMemo* memo = MemoOf(db)) memo->entryBytesBound = -1;
    return true;
  });
  if (!ok) return false;
  for (const std::string& path : doomed) RemoveUnusedFile(path);
  return true;
}

}  // namespace qx::inet

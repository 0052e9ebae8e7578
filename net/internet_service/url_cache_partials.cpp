// Partial downloads in the cache index: recorded when a resumable body
// starts, looked up by the next download of the same URL, dropped when it
// completes, fails for good or is cancelled.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "net/internet_service/internet_service.h"
#include "net/internet_service/url_cache_admin.h"
#include "net/internet_service/url_cache_db.h"

namespace qx::inet {
namespace {

std::string NameOf(const std::string& path) { return path.substr(path.rfind('/') + 1); }

int64_t Now() { return FileTimeToInt64(GetSystemTimeAsFileTime()); }

bool DeleteRecord(sqlite3* db, const std::string& url, const std::string& file) {
  Statement remove(db, "DELETE FROM partials WHERE url = ?1 AND file = ?2;");
  if (!remove.ok()) return SqliteFailure(db, remove.rc());
  remove.Bind(1, url).Bind(2, file);
  const int rc = remove.Step();
  return rc == SQLITE_DONE || SqliteFailure(db, rc);
}

}  // namespace

bool IsFileBeingWritten(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return false;
  const bool busy = flock(fd, LOCK_SH | LOCK_NB) != 0;
  close(fd);
  return busy;
}

bool FindPartialDownload(const std::string& url, PartialDownload& partial) {
  // Most downloads have none: a read tells, without the write lock.
  bool recorded = false;
  const bool read = InCacheRead([&](sqlite3* db, const std::string&) {
    Statement exists(db, "SELECT 1 FROM partials WHERE url = ?1;");
    if (!exists.ok()) return SqliteFailure(db, exists.rc());
    exists.Bind(1, url);
    const int rc = exists.Step();
    recorded = rc == SQLITE_ROW;
    return recorded || rc == SQLITE_DONE || SqliteFailure(db, rc);
  });
  if (!read || !recorded) return false;
  bool found = false;
  std::string stale;
  const bool ok = InCacheTransaction([&](sqlite3* db, const std::string& folder) {
    found = false;
    stale.clear();
    Statement read(db, "SELECT file, validator, total, last_access FROM partials WHERE url = ?1;");
    if (!read.ok()) return SqliteFailure(db, read.rc());
    read.Bind(1, url);
    const int rc = read.Step();
    if (rc == SQLITE_DONE) return true;
    if (rc != SQLITE_ROW) return SqliteFailure(db, rc);
    const std::string file = read.Text(0);
    partial.path = folder + "/" + file;
    partial.validator = read.Text(1);
    partial.total = static_cast<uint64_t>(read.Int(2));
    const int64_t lastAccess = read.Int(3);
    if (IsFileBeingWritten(partial.path)) return true;  // another process is on it
    struct stat info {};
    const bool usable = lstat(partial.path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
                        Now() - lastAccess < kPartialLifetimeTicks;
    if (!usable) {
      stale = partial.path;
      return DeleteRecord(db, url, file);
    }
    Statement touch(db, "UPDATE partials SET last_access = ?2 WHERE url = ?1;");
    if (!touch.ok()) return SqliteFailure(db, touch.rc());
    touch.Bind(1, url).Bind(2, Now());
    const int done = touch.Step();
    if (done != SQLITE_DONE) return SqliteFailure(db, done);
    found = true;
    return true;
  });
  if (!stale.empty()) unlink(stale.c_str());
  return ok && found;
}

bool RecordPartialDownload(const std::string& url, const PartialDownload& partial) {
  std::string replaced;
  const bool ok = InCacheTransaction([&](sqlite3* db, const std::string& folder) {
    replaced.clear();
    {
      Statement read(db, "SELECT file FROM partials WHERE url = ?1;");
      if (!read.ok()) return SqliteFailure(db, read.rc());
      read.Bind(1, url);
      const int rc = read.Step();
      if (rc == SQLITE_ROW && read.Text(0) != NameOf(partial.path)) {
        replaced = folder + "/" + read.Text(0);
      } else if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
        return SqliteFailure(db, rc);
      }
    }
    Statement write(db,
                    "INSERT OR REPLACE INTO partials (url, file, validator, total, last_access)"
                    " VALUES (?1, ?2, ?3, ?4, ?5);");
    if (!write.ok()) return SqliteFailure(db, write.rc());
    write.Bind(1, url).Bind(2, NameOf(partial.path)).Bind(3, partial.validator);
    write.Bind(4, static_cast<int64_t>(partial.total)).Bind(5, Now());
    const int rc = write.Step();
    return rc == SQLITE_DONE || SqliteFailure(db, rc);
  });
  if (ok && !replaced.empty() && !IsFileBeingWritten(replaced)) unlink(replaced.c_str());
  return ok;
}

void DropPartialDownload(const std::string& url, const std::string& path) {
  InCacheTransaction(
      [&](sqlite3* db, const std::string&) { return DeleteRecord(db, url, NameOf(path)); });
  unlink(path.c_str());
}

}  // namespace qx::inet

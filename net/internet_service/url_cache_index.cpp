// SQLite index of the internet cache.
#include "net/internet_service/url_cache_index.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <unordered_map>

#include "net/internet_service/internet_service.h"
#include "net/internet_service/last_error.h"
#include "net/internet_service/url_cache_db.h"

namespace qx::inet {
namespace {

constexpr int kBusyTimeoutMs = 15'000;
constexpr int kLogCheckpointPages = 256;
constexpr long long kLogSizeLimit = 1024LL * 1024;
// Layout version written into the index; an index whose tables lack a column
// this version reads is rebuilt.
constexpr int kIndexVersion = 2;

const char* const kSchema =
    "CREATE TABLE IF NOT EXISTS entries ("
    " url TEXT PRIMARY KEY NOT NULL,"
    " file TEXT NOT NULL,"
    " extension TEXT NOT NULL DEFAULT '',"
    " entry_type INTEGER NOT NULL DEFAULT 1,"
    " size INTEGER NOT NULL DEFAULT 0,"
    " last_modified INTEGER NOT NULL DEFAULT 0,"
    " expire INTEGER NOT NULL DEFAULT 0,"
    " last_access INTEGER NOT NULL DEFAULT 0,"
    " last_sync INTEGER NOT NULL DEFAULT 0,"
    " lock_count INTEGER NOT NULL DEFAULT 0,"
    " hits INTEGER NOT NULL DEFAULT 0);"
    "CREATE INDEX IF NOT EXISTS entries_by_file ON entries(file);"
    // Downloads cut short that a later request may complete: never handed
    // out as entries.
    "CREATE TABLE IF NOT EXISTS partials ("
    " url TEXT PRIMARY KEY NOT NULL,"
    " file TEXT NOT NULL,"
    " validator TEXT NOT NULL,"
    " total INTEGER NOT NULL,"
    " last_access INTEGER NOT NULL);"
    "CREATE TABLE IF NOT EXISTS upkeep (name TEXT PRIMARY KEY NOT NULL, value INTEGER NOT NULL);";

// One query per table naming every column this version reads: preparing it
// fails on an index of an older layout.
const char* const kLayoutProbes[] = {
    ("SELECT url, file, extension, entry_type, size, last_modified, expire, last_access,"
     " last_sync, lock_count, hits FROM entries LIMIT 0;"),
    "SELECT url, file, validator, total, last_access FROM partials LIMIT 0;",
    "SELECT name, value FROM upkeep LIMIT 0;",
};

bool MakeFolders(const std::string& path) {
  for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    const std::string prefix = path.substr(0, slash);
    if (!prefix.empty() && mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) {
      SetLastErrorFromErrno(errno);
      return false;
    }
    if (slash == std::string::npos) return true;
  }
}

// A statement prepared once on the connection and reused.
struct KeptStatement {
  sqlite3_stmt* statement = nullptr;
  bool inUse = false;
};

// The process's connection to the index of one folder, shared by every
// thread and object, with the statements prepared on it. A child process
// made by fork never uses its parent's connection. Closed when the process
// exits or the module is unloaded, without a checkpoint: the log is kept
// small by the checkpoints of its commits, and a process that exits pays no
// flush for it.
struct IndexConnection {
  std::mutex mutex;
  sqlite3* db = nullptr;
  std::string folder;
  pid_t owner = 0;
  std::unordered_map<std::string, KeptStatement> statements;
  IndexMemo memo;

  ~IndexConnection() {
    std::lock_guard<std::mutex> lock(mutex);
    Drop();
  }

  // Closes the connection when it is this process's; one inherited across
  // fork is left alone (it belongs to the parent).
  void Drop() {
    if (db != nullptr && owner == getpid()) {
      for (auto& [sql, kept] : statements) sqlite3_finalize(kept.statement);
      sqlite3_close(db);
    }
    statements.clear();
    memo = IndexMemo();
    db = nullptr;
  }
};

IndexConnection& Connection() {
  static IndexConnection connection;
  return connection;
}

// Whether `db` is the connection's. Asked only under the connection's lock
// inside RunOnIndex, which has already dropped a connection inherited across
// fork: no process id is asked for each statement (it is a system call).
bool IsProcessConnection(sqlite3* db) { return db != nullptr && db == Connection().db; }

// The kept statement for `sql` on `db` when `db` is the connection's (whose
// lock the caller holds) and no other use holds it; nullptr otherwise.
KeptStatement* KeptStatementFor(sqlite3* db, const char* sql) {
  if (!IsProcessConnection(db)) return nullptr;
  KeptStatement& kept = Connection().statements[sql];
  if (kept.inUse) return nullptr;
  if (kept.statement == nullptr && sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT,
                                                      &kept.statement, nullptr) != SQLITE_OK) {
    kept.statement = nullptr;
    return nullptr;
  }
  return &kept;
}

bool IsDamage(int rc) {
  const int primary = rc & 0xFF;
  return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

// Set when a statement on this thread reported a damaged index file: the
// work that failed on it is run again on a rebuilt index.
thread_local bool t_damageSeen = false;

enum class OpenResult { Ready, Damaged, Failed };

// Opens the index at `path` and brings its layout to this version: missing
// tables are made, and tables of an older layout are dropped and made anew
// (their entries lost, their files left to the sweep).
OpenResult OpenIndex(const std::string& path, sqlite3*& result) {
  result = nullptr;
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(
      path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
  auto fail = [&](int code) {
    SqliteFailure(db, code);
    sqlite3_close(db);
    return IsDamage(code) ? OpenResult::Damaged : OpenResult::Failed;
  };
  if (rc != SQLITE_OK) return fail(rc);
  sqlite3_busy_timeout(db, kBusyTimeoutMs);
  sqlite3_db_config(db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
  // The write-ahead log stays small: its pages move into the index once it
  // passes kLogCheckpointPages (a short, small flush, every few processes
  // rather than in each), and the file is cut back to kLogSizeLimit when the
  // log starts over, so no process re-reads a long log.
  const std::string bounds = "PRAGMA wal_autocheckpoint=" + std::to_string(kLogCheckpointPages) +
                             "; PRAGMA journal_size_limit=" + std::to_string(kLogSizeLimit) + ";";
  for (const char* setup :
       {"PRAGMA journal_mode=WAL;", "PRAGMA synchronous=NORMAL;", bounds.c_str()}) {
    rc = sqlite3_exec(db, setup, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) return fail(rc);
  }
  // No integrity check here: its cost grows with the index and every process
  // would pay it. Damage is found by the statement that reads it instead, and
  // the index is then rebuilt (see RunOnIndex).
  {
    // An index of this version with every table this version reads needs
    // no change: no write on opening it.
    Statement version(db, "PRAGMA user_version;");
    if (!version.ok()) return fail(version.rc());
    rc = version.Step();
    if (rc != SQLITE_ROW) return fail(rc);
    bool current = version.Int(0) == kIndexVersion;
    for (const char* probe : kLayoutProbes) current = current && Statement(db, probe).ok();
    if (current) {
      result = db;
      return OpenResult::Ready;
    }
  }
  rc = sqlite3_exec(db, "BEGIN IMMEDIATE;", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) return fail(rc);
  bool olderLayout = false;
  for (const char* probe : kLayoutProbes) {
    Statement statement(db, probe);
    // A missing table is made below; a table lacking a column is old.
    if (!statement.ok() && std::string(sqlite3_errmsg(db)).rfind("no such table", 0) != 0) {
      olderLayout = true;
    }
  }
  if (olderLayout) {
    rc = sqlite3_exec(db,
                      "DROP TABLE IF EXISTS entries; DROP TABLE IF EXISTS partials;"
                      " DROP TABLE IF EXISTS upkeep;",
                      nullptr, nullptr, nullptr);
  }
  if (rc == SQLITE_OK) rc = sqlite3_exec(db, kSchema, nullptr, nullptr, nullptr);
  if (rc == SQLITE_OK) {
    const std::string version = "PRAGMA user_version = " + std::to_string(kIndexVersion) + ";";
    rc = sqlite3_exec(db, version.c_str(), nullptr, nullptr, nullptr);
  }
  if (rc == SQLITE_OK) rc = sqlite3_exec(db, "COMMIT;", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) {
    const int failure = rc;
    sqlite3_exec(db, "ROLLBACK;", nullptr, nullptr, nullptr);
    return fail(failure);
  }
  result = db;
  return OpenResult::Ready;
}

void RemoveIndexFiles(const std::string& folder) {
  const std::string path = folder + "/index.db";
  for (const char* suffix : {"", "-wal", "-shm", "-journal"}) unlink((path + suffix).c_str());
}

// The index of `folder`, rebuilt empty when the file is damaged: the
// entries are lost, never handed out wrong.
sqlite3* OpenOrRebuildIndex(const std::string& folder) {
  const std::string path = folder + "/index.db";
  sqlite3* db = nullptr;
  if (OpenIndex(path, db) != OpenResult::Damaged) return db;
  RemoveIndexFiles(folder);
  return OpenIndex(path, db) == OpenResult::Ready ? db : nullptr;
}

// Runs `work` between `begin` and COMMIT on `db`; rolls back when either fails.
bool RunInTransaction(sqlite3* db, const char* begin, const std::string& folder,
                      const IndexWork& work) {
  if (!Execute(db, begin)) return false;
  const bool ok = work(db, folder);
  if (!ok) {
    // Keeps the work's last error.
    if (sqlite3_get_autocommit(db) == 0) Statement(db, "ROLLBACK;").Step();
    return false;
  }
  if (!Execute(db, "COMMIT;")) {
    if (sqlite3_get_autocommit(db) == 0) Statement(db, "ROLLBACK;").Step();
    return false;
  }
  return true;
}

// Runs `work` in a transaction opened by `begin` on the process's connection
// to the index of the cache folder, opening (and sweeping) it on first use.
// When a statement finds the index file damaged, the index is rebuilt empty
// and `work` runs once more on it.
bool RunOnIndex(const char* begin, const IndexWork& work) {
  const std::optional<std::string> folder = CacheFolder();
  if (!folder) return false;
  IndexConnection& connection = Connection();
  std::lock_guard<std::mutex> lock(connection.mutex);
  for (int attempt = 0;; ++attempt) {
    if (connection.db != nullptr &&
        (connection.folder != *folder || connection.owner != getpid())) {
      connection.Drop();  // another folder, or a connection inherited across fork
    }
    if (connection.db == nullptr) {
      sqlite3* db = OpenOrRebuildIndex(*folder);
      if (db == nullptr) return false;
      connection.db = db;
      connection.folder = *folder;
      connection.owner = getpid();
      SweepCacheFolderIfDue(db, *folder);
    }
    t_damageSeen = false;
    if (RunInTransaction(connection.db, begin, *folder, work)) return true;
    if (!t_damageSeen || attempt > 0) return false;
    connection.Drop();
    RemoveIndexFiles(*folder);
  }
}

bool NotCached() {
  SetLastError(ERROR_FILE_NOT_FOUND);
  return false;
}

// The file of a removed or replaced entry when no entry names it any more.
bool OrphanedFile(sqlite3* db, const std::string& file, std::string& orphaned) {
  Statement users(db, "SELECT COUNT(*) FROM entries WHERE file = ?1;");
  if (!users.ok()) return SqliteFailure(db, users.rc());
  users.Bind(1, file);
  const int rc = users.Step();
  if (rc != SQLITE_ROW) return SqliteFailure(db, rc);
  orphaned = users.Int(0) == 0 ? file : std::string();
  return true;
}

}  // namespace

bool SqliteFailure(sqlite3* db, int rc) {
  if (IsDamage(rc)) t_damageSeen = true;
  const DWORD code = (rc == SQLITE_BUSY || rc == SQLITE_LOCKED) ? ERROR_SHARING_VIOLATION
                                                                : ERROR_INTERNET_INTERNAL_ERROR;
  SetLastErrorDetail(code, std::string("Cache index: ") +
                               (db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(rc)));
  return false;
}

Statement::Statement(sqlite3* db, const char* sql) {
  if (KeptStatement* kept = KeptStatementFor(db, sql)) {
    kept->inUse = true;
    kept_ = &kept->inUse;
    statement_ = kept->statement;
    return;
  }
  rc_ = sqlite3_prepare_v2(db, sql, -1, &statement_, nullptr);
}

Statement::~Statement() {
  if (kept_ == nullptr) {
    sqlite3_finalize(statement_);
    return;
  }
  sqlite3_reset(statement_);
  sqlite3_clear_bindings(statement_);
  *kept_ = false;
}

Statement& Statement::Bind(int at, const std::string& text) {
  sqlite3_bind_text(statement_, at, text.c_str(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
  return *this;
}

Statement& Statement::Bind(int at, int64_t value) {
  sqlite3_bind_int64(statement_, at, value);
  return *this;
}

std::string Statement::Text(int column) const {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement_, column));
  return text != nullptr ? std::string(text) : std::string();
}

bool Execute(sqlite3* db, const char* sql) {
  Statement statement(db, sql);
  if (!statement.ok()) return SqliteFailure(db, statement.rc());
  int rc = SQLITE_ROW;
  while (rc == SQLITE_ROW) rc = statement.Step();
  return rc == SQLITE_DONE || SqliteFailure(db, rc);
}

IndexMemo* MemoOf(sqlite3* db) { return IsProcessConnection(db) ? &Connection().memo : nullptr; }

bool InCacheTransaction(const IndexWork& work) { return RunOnIndex("BEGIN IMMEDIATE;", work); }

bool InCacheRead(const IndexWork& work) {
  // A deferred transaction that only reads takes no write lock: in the
  // write-ahead log mode it reads one committed state beside any writer.
  return RunOnIndex("BEGIN;", work);
}

std::optional<std::string> CacheFolder(bool recheck) {
  std::string folder;
  if (const char* dir = std::getenv("QXNET_CACHE_DIR"); dir != nullptr && *dir != '\0') {
    folder = dir;
  } else if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg != nullptr && *xdg == '/') {
    folder = std::string(xdg) + "/corvane/inetcache";
  } else if (const char* home = std::getenv("HOME"); home != nullptr && *home == '/') {
    folder = std::string(home) + "/.cache/corvane/inetcache";
  } else {
    SetLastErrorDetail(ERROR_PATH_NOT_FOUND,
                       "No cache folder: neither QXNET_CACHE_DIR nor HOME is set");
    return std::nullopt;
  }
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  // Made (or found) once per process and folder, unless the caller saw it gone.
  static std::mutex mutex;
  static std::string made;
  std::lock_guard<std::mutex> lock(mutex);
  if (!recheck && folder == made) return folder;
  if (!MakeFolders(folder)) return std::nullopt;
  made = folder;
  return folder;
}

bool ReadCacheRecord(const std::string& url, bool lock, CacheRecord& record) {
  const IndexWork work = [&](sqlite3* db, const std::string&) {
    Statement read(db,
                   "SELECT file, extension, entry_type, size, last_modified, expire, last_access,"
                   " last_sync, lock_count, hits FROM entries WHERE url = ?1;");
    if (!read.ok()) return SqliteFailure(db, read.rc());
    read.Bind(1, url);
    const int rc = read.Step();
    if (rc == SQLITE_DONE) return NotCached();
    if (rc != SQLITE_ROW) return SqliteFailure(db, rc);
    record.url = url;
    record.file = read.Text(0);
    record.extension = read.Text(1);
    record.entryType = static_cast<DWORD>(read.Int(2));
    record.size = read.Int(3);
    record.lastModified = read.Int(4);
    record.expire = read.Int(5);
    record.lastAccess = read.Int(6);
    record.lastSync = read.Int(7);
    record.locks = read.Int(8);
    record.hits = read.Int(9);
    if (!lock) return true;
    record.locks += 1;
    record.hits += 1;
    record.lastAccess = FileTimeToInt64(GetSystemTimeAsFileTime());
    Statement update(
        db, "UPDATE entries SET lock_count = ?2, hits = ?3, last_access = ?4 WHERE url = ?1;");
    if (!update.ok()) return SqliteFailure(db, update.rc());
    update.Bind(1, url).Bind(2, record.locks).Bind(3, record.hits).Bind(4, record.lastAccess);
    const int done = update.Step();
    return done == SQLITE_DONE || SqliteFailure(db, done);
  };
  // Only taking a lock writes.
  return lock ? InCacheTransaction(work) : InCacheRead(work);
}

bool WriteCacheRecord(const CacheRecord& record, std::string& orphaned) {
  return InCacheTransaction([&](sqlite3* db, const std::string&) {
    orphaned.clear();
    std::string previous;
    {
      Statement read(db, "SELECT file FROM entries WHERE url = ?1;");
      if (!read.ok()) return SqliteFailure(db, read.rc());
      read.Bind(1, record.url);
      const int rc = read.Step();
      if (rc == SQLITE_ROW)
        previous = read.Text(0);
      else if (rc != SQLITE_DONE)
        return SqliteFailure(db, rc);
    }
    Statement write(db,
                    "INSERT OR REPLACE INTO entries (url, file, extension, entry_type, size,"
                    " last_modified, expire, last_access, last_sync, lock_count, hits)"
                    " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, 0, 0);");
    if (!write.ok()) return SqliteFailure(db, write.rc());
    write.Bind(1, record.url).Bind(2, record.file).Bind(3, record.extension);
    write.Bind(4, static_cast<int64_t>(record.entryType)).Bind(5, record.size);
    write.Bind(6, record.lastModified).Bind(7, record.expire).Bind(8, record.lastAccess);
    write.Bind(9, record.lastSync);
    const int rc = write.Step();
    if (rc != SQLITE_DONE) return SqliteFailure(db, rc);
    NoteEntryBytesAdded(db, record.size);
    // A completed partial download becomes this entry.
    Statement completed(db, "DELETE FROM partials WHERE url = ?1 AND file = ?2;");
    if (!completed.ok()) return SqliteFailure(db, completed.rc());
    completed.Bind(1, record.url).Bind(2, record.file);
    const int done = completed.Step();
    if (done != SQLITE_DONE) return SqliteFailure(db, done);
    if (previous.empty() || previous == record.file) return true;
    return OrphanedFile(db, previous, orphaned);
  });
}

bool UnlockCacheRecord(const std::string& url) {
  return InCacheTransaction([&](sqlite3* db, const std::string&) {
    Statement update(db, "UPDATE entries SET lock_count = MAX(lock_count - 1, 0) WHERE url = ?1;");
    if (!update.ok()) return SqliteFailure(db, update.rc());
    update.Bind(1, url);
    const int rc = update.Step();
    if (rc != SQLITE_DONE) return SqliteFailure(db, rc);
    return sqlite3_changes(db) > 0 || NotCached();
  });
}

bool UpdateCacheRecord(const std::string& url, const CacheRecordChange& change) {
  return InCacheTransaction([&](sqlite3* db, const std::string&) {
    const DWORD fc = change.fieldControl;
    Statement update(db,
                     "UPDATE entries SET"
                     " entry_type = CASE WHEN ?2 THEN ?3 ELSE entry_type END,"
                     " last_modified = CASE WHEN ?4 THEN ?5 ELSE last_modified END,"
                     " expire = CASE WHEN ?6 THEN ?7 ELSE expire END,"
                     " last_access = CASE WHEN ?8 THEN ?9 ELSE last_access END,"
                     " last_sync = CASE WHEN ?10 THEN ?11 ELSE last_sync END"
                     " WHERE url = ?1;");
    if (!update.ok()) return SqliteFailure(db, update.rc());
    update.Bind(1, url);
    update.Bind(2, int64_t{(fc & CACHE_ENTRY_ATTRIBUTE_FC) != 0})
        .Bind(3, int64_t{change.entryType});
    update.Bind(4, int64_t{(fc & CACHE_ENTRY_MODTIME_FC) != 0}).Bind(5, change.lastModified);
    update.Bind(6, int64_t{(fc & CACHE_ENTRY_EXPTIME_FC) != 0}).Bind(7, change.expire);
    update.Bind(8, int64_t{(fc & CACHE_ENTRY_ACCTIME_FC) != 0}).Bind(9, change.lastAccess);
    update.Bind(10, int64_t{(fc & CACHE_ENTRY_SYNCTIME_FC) != 0}).Bind(11, change.lastSync);
    const int rc = update.Step();
    if (rc != SQLITE_DONE) return SqliteFailure(db, rc);
    return sqlite3_changes(db) > 0 || NotCached();
  });
}

bool RemoveCacheRecord(const std::string& url, std::string& orphaned) {
  return InCacheTransaction([&](sqlite3* db, const std::string&) {
    orphaned.clear();
    std::string file;
    {
      Statement read(db, "SELECT file FROM entries WHERE url = ?1;");
      if (!read.ok()) return SqliteFailure(db, read.rc());
      read.Bind(1, url);
      const int rc = read.Step();
      if (rc == SQLITE_DONE) return NotCached();
      if (rc != SQLITE_ROW) return SqliteFailure(db, rc);
      file = read.Text(0);
    }
    Statement remove(db, "DELETE FROM entries WHERE url = ?1;");
    if (!remove.ok()) return SqliteFailure(db, remove.rc());
    remove.Bind(1, url);
    const int rc = remove.Step();
    if (rc != SQLITE_DONE) return SqliteFailure(db, rc);
    return OrphanedFile(db, file, orphaned);
  });
}

}  // namespace qx::inet

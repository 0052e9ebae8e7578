#include "platform/registry/registry_connection.h"

#include <pthread.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "platform/registry/registry_database.h"
#include "platform/registry/registry_version.h"

namespace qx::registry {

namespace {

// How long a writer waits for another process's transaction to finish.
constexpr int kBusyTimeoutMs = 15000;

LSTATUS StatusFromSqlite(int rc, bool write) {
  switch (rc & 0xFF) {
    case SQLITE_OK:
    case SQLITE_DONE:
    case SQLITE_ROW:
      return ERROR_SUCCESS;
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
    case SQLITE_FORMAT:
    case SQLITE_SCHEMA:
      return ERROR_BADDB;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
      return ERROR_ACCESS_DENIED;
    case SQLITE_CANTOPEN:
      return ERROR_CANTOPEN;
    case SQLITE_NOMEM:
      return ERROR_OUTOFMEMORY;
    default:
      return write ? ERROR_CANTWRITE : ERROR_CANTREAD;
  }
}

LSTATUS StatusFromErrno(int error) {
  switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
      return ERROR_ACCESS_DENIED;
    case ENOMEM:
      return ERROR_OUTOFMEMORY;
    default:
      return ERROR_PATH_NOT_FOUND;
  }
}

// SQLite's message, with the system's reason when a system call failed.
std::string SqliteReason(sqlite3* db, int rc) {
  std::string reason = db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
  const int system_error = db != nullptr ? sqlite3_system_errno(db) : 0;
  if (system_error != 0) reason += std::string(" (") + std::strerror(system_error) + ")";
  return reason;
}

const char kSchema[] =
    "CREATE TABLE IF NOT EXISTS reg_keys("
    " root INTEGER NOT NULL, path TEXT NOT NULL, parent TEXT NOT NULL, name TEXT NOT NULL,"
    " PRIMARY KEY(root, path)) WITHOUT ROWID;"
    "CREATE INDEX IF NOT EXISTS reg_keys_by_parent ON reg_keys(root, parent, path);"
    "CREATE TABLE IF NOT EXISTS reg_values("
    " root INTEGER NOT NULL, key TEXT NOT NULL, folded TEXT NOT NULL, name TEXT NOT NULL,"
    " type INTEGER NOT NULL, data BLOB NOT NULL,"
    " PRIMARY KEY(root, key, folded)) WITHOUT ROWID;";

// Classes that older user databases kept under their own HKEY_CLASSES_ROOT
// rows (root 0) move to the user's Software\Classes (root 1), which is where
// the classes view now reads them; they win over anything already there,
// as they were what class lookups found until now.
const char kMoveOldClassRows[] =
    "BEGIN IMMEDIATE;"
    "INSERT OR IGNORE INTO reg_keys VALUES(1, 'software', '', 'Software');"
    "INSERT OR IGNORE INTO reg_keys VALUES(1, 'software\\classes', 'software', 'Classes');"
    "INSERT OR REPLACE INTO reg_keys(root, path, parent, name)"
    " SELECT 1, 'software\\classes\\' || path,"
    "  CASE parent WHEN '' THEN 'software\\classes' ELSE 'software\\classes\\' || parent END,"
    "  name FROM reg_keys WHERE root = 0;"
    "INSERT OR REPLACE INTO reg_values(root, key, folded, name, type, data)"
    " SELECT 1, CASE key WHEN '' THEN 'software\\classes' ELSE 'software\\classes\\' || key END,"
    "  folded, name, type, data FROM reg_values WHERE root = 0;"
    "DELETE FROM reg_keys WHERE root = 0;"
    "DELETE FROM reg_values WHERE root = 0;"
    "COMMIT;";

std::string HomeFolder() {
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] != '\0') return home;
  if (const passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_dir != nullptr)
    return entry->pw_dir;
  return "/tmp";
}

bool HasRow(sqlite3* db, const char* sql, int& rc) {
  sqlite3_stmt* probe = nullptr;
  rc = sqlite3_prepare_v2(db, sql, -1, &probe, nullptr);
  if (rc != SQLITE_OK) return false;
  rc = sqlite3_step(probe);
  const bool found = rc == SQLITE_ROW && sqlite3_column_int(probe, 0) != 0;
  sqlite3_finalize(probe);
  if (rc == SQLITE_ROW || rc == SQLITE_DONE) rc = SQLITE_OK;
  return found;
}

// Prepares a freshly opened database: its journal, the tables, and (for the
// user's database) the move of classes kept in the old layout.
int InitialiseDatabase(sqlite3* db, Store store, bool readOnly) {
  sqlite3_busy_timeout(db, kBusyTimeoutMs);
  if (readOnly) return SQLITE_OK;
  // The user's database uses write-ahead logging; with it, NORMAL keeps
  // every commit atomic across a crash without a flush per write. The
  // machine's keeps a rollback journal, so that users who may only read the
  // file (and not create the log beside it) can still read it.
  const char* journal = store == Store::User
                            ? "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL"
                            : "PRAGMA journal_mode=DELETE; PRAGMA synchronous=FULL";
  int rc = sqlite3_exec(db, journal, nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK && (rc & 0xFF) != SQLITE_READONLY) return rc;
  if (store == Store::User) {
    // The last connection to close still moves the log into the database,
    // but then empties the log and keeps it, with its index, instead of
    // deleting both: otherwise every short-lived process that reads the
    // registry creates the two files anew, which costs more than the rest
    // of its registry work.
    int persist = 1;
    sqlite3_file_control(db, "main", SQLITE_FCNTL_PERSIST_WAL, &persist);
    sqlite3_exec(db, "PRAGMA journal_size_limit=0", nullptr, nullptr, nullptr);
  }
  const bool ready = HasRow(db,
                            "SELECT count(*) = 2 FROM sqlite_master WHERE type='table' AND "
                            "name IN ('reg_keys','reg_values')",
                            rc);
  if (rc != SQLITE_OK) return rc;
  if (!ready) return sqlite3_exec(db, kSchema, nullptr, nullptr, nullptr);
  if (store == Store::User &&
      HasRow(db, "SELECT EXISTS(SELECT 1 FROM reg_keys WHERE root = 0)", rc)) {
    // Should the move fail (another process holding the database too long),
    // the database still opens and the move is tried again next time.
    if (sqlite3_exec(db, kMoveOldClassRows, nullptr, nullptr, nullptr) != SQLITE_OK)
      sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
  }
  return SQLITE_OK;
}

std::string StorePath(Store store) {
  return store == Store::User ? DatabasePath() : MachineDatabasePath();
}

}  // namespace

void Connection::Close() {
  if (db != nullptr) NoteLocalChange();
  watch.Stop();
  if (db != nullptr && pid == getpid()) {
    for (auto& entry : statements) sqlite3_finalize(entry.second);
    sqlite3_close_v2(db);
  }
  // A connection of another process is abandoned on purpose: closing it
  // here could disturb the parent's locks and write-ahead log.
  statements.clear();
  db = nullptr;
  path.clear();
  pid = 0;
}

namespace {

std::atomic<uint64_t> g_fork_generation{0};

void CountFork() { g_fork_generation.fetch_add(1, std::memory_order_relaxed); }

}  // namespace

uint64_t ForkGeneration() {
  static const bool registered = pthread_atfork(nullptr, nullptr, &CountFork) == 0;
  (void)registered;
  return g_fork_generation.load(std::memory_order_relaxed);
}

std::mutex& ConnectionMutex() {
  static std::mutex* mutex = new std::mutex;
  return *mutex;
}
Connection& TheConnection(Store store) {
  static auto* connections = new std::array<Connection, kStoreCount>;
  return (*connections)[static_cast<size_t>(store)];
}

namespace {

// Closes the connections at normal process exit so the write-ahead log is
// checkpointed.
struct ConnectionCloser {
  ~ConnectionCloser() {
    std::lock_guard<std::mutex> lock(ConnectionMutex());
    TheConnection(Store::User).Close();
    TheConnection(Store::Machine).Close();
  }
} g_connection_closer;

}  // namespace

[[noreturn]] void ThrowSqlite(const Connection& connection, int rc, bool write) {
  throw StoreFailure{StatusFromSqlite(rc, write), connection.path, SqliteReason(connection.db, rc)};
}

void Execute(Connection& connection, const char* sql) {
  const int rc = sqlite3_exec(connection.db, sql, nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) ThrowSqlite(connection, rc, true);
}

void EnsureConnection(Connection& connection, Store store, bool write) {
  const std::string path = StorePath(store);
  struct stat info;
  const bool exists = stat(path.c_str(), &info) == 0;
  if (connection.db != nullptr) {
    const bool same = connection.pid == getpid() && connection.path == path;
    if (same && exists && info.st_dev == connection.device && info.st_ino == connection.inode &&
        !(write && connection.readOnly))
      return;
    if (same) {
      // The file was removed or replaced (or is reopened for writing):
      // closing must not delete a write-ahead log that is not ours alone.
      int keep = 1;
      sqlite3_file_control(connection.db, "main", SQLITE_FCNTL_PERSIST_WAL, &keep);
    }
    connection.Close();
  }
  if (!write && !exists) return;
  if (write) {
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    std::error_code error;
    if (!parent.empty()) std::filesystem::create_directories(parent, error);
    if (error)
      throw StoreFailure{StatusFromErrno(error.value()), path,
                         "cannot create " + parent.string() + " (" + error.message() + ")"};
  }
  // A reader without write permission opens the file read-only.
  const bool readOnly = !write && access(path.c_str(), W_OK) != 0;
  const int flags = (readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE) |
                    SQLITE_OPEN_NOMUTEX;
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
  if (rc == SQLITE_OK) rc = InitialiseDatabase(db, store, readOnly);
  if (rc != SQLITE_OK) {
    const bool denied = write && access(path.c_str(), W_OK) != 0 && errno == EACCES;
    const std::string reason = SqliteReason(db, rc);
    sqlite3_close_v2(db);
    if (denied) throw StoreFailure{ERROR_ACCESS_DENIED, path, "permission denied"};
    throw StoreFailure{StatusFromSqlite(rc, write), path, reason};
  }
  if (stat(path.c_str(), &info) != 0) {
    const int error = errno;
    sqlite3_close_v2(db);
    throw StoreFailure{StatusFromErrno(error), path, std::strerror(error)};
  }
  NoteLocalChange();
  connection.forkGeneration = ForkGeneration();
  connection.db = db;
  connection.path = path;
  connection.pid = getpid();
  connection.readOnly = readOnly;
  connection.device = info.st_dev;
  connection.inode = info.st_ino;
}

std::string DatabasePath() {
  const char* explicit_path = std::getenv("QXNET_REGISTRY");
  if (explicit_path != nullptr && explicit_path[0] != '\0') return explicit_path;
  std::string config;
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg != nullptr && xdg[0] == '/') {
    config = xdg;
  } else {
    config = HomeFolder() + "/.config";
  }
  return config + "/corvane/registry.db";
}

std::string MachineDatabasePath() {
  const char* explicit_path = std::getenv("QXNET_SYSTEM_REGISTRY");
  if (explicit_path != nullptr && explicit_path[0] != '\0') return explicit_path;
  return "/var/lib/qxnet/registry.db";
}

}  // namespace qx::registry

#include "platform/registry/registry_database.h"

#include <pwd.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <new>
#include <unordered_map>

namespace qx::registry {

namespace {

// How long a writer waits for another process's transaction to finish.
constexpr int kBusyTimeoutMs = 15000;

struct DatabaseError {
  int code;
};

// One open database of this process. A connection inherited through fork()
// belongs to the parent and is never used (or closed) by the child.
struct Connection {
  sqlite3* db = nullptr;
  std::string path;
  pid_t pid = 0;
  // Identity of the file when it was opened, to notice a removed or
  // replaced database.
  dev_t device = 0;
  ino_t inode = 0;
  std::unordered_map<const char*, sqlite3_stmt*> statements;

  void Close() {
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
};

// Heap objects that are never destroyed, so that calls made while static
// objects are being torn down still find a usable (re-openable) connection.
std::mutex& ConnectionMutex() {
  static std::mutex* mutex = new std::mutex;
  return *mutex;
}
Connection& TheConnection() {
  static Connection* connection = new Connection;
  return *connection;
}

// Closes the connection at normal process exit so the write-ahead log is
// checkpointed.
struct ConnectionCloser {
  ~ConnectionCloser() {
    std::lock_guard<std::mutex> lock(ConnectionMutex());
    TheConnection().Close();
  }
} g_connection_closer;

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

// A cached prepared statement, reset when the guard goes out of scope.
class Statement {
 public:
  Statement(Connection& connection, const char* sql) {
    auto found = connection.statements.find(sql);
    if (found != connection.statements.end()) {
      stmt_ = found->second;
    } else {
      const int rc = sqlite3_prepare_v3(connection.db, sql, -1, SQLITE_PREPARE_PERSISTENT,
                                        &stmt_, nullptr);
      if (rc != SQLITE_OK) throw DatabaseError{rc};
      connection.statements.emplace(sql, stmt_);
    }
  }
  ~Statement() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
  }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  Statement& Bind(int index, int64_t value) {
    Check(sqlite3_bind_int64(stmt_, index, value));
    return *this;
  }
  Statement& Bind(int index, std::string_view text) {
    Check(sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()),
                            SQLITE_TRANSIENT));
    return *this;
  }
  Statement& BindBlob(int index, const BYTE* data, size_t size) {
    if (size == 0) {
      Check(sqlite3_bind_zeroblob(stmt_, index, 0));
    } else {
      Check(sqlite3_bind_blob64(stmt_, index, data, size, SQLITE_TRANSIENT));
    }
    return *this;
  }
  // True while a row is available.
  bool Step() {
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    throw DatabaseError{rc};
  }
  void Run() {
    while (Step()) {
    }
  }
  int64_t Int(int column) const { return sqlite3_column_int64(stmt_, column); }
  std::string Text(int column) const {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
    return text ? std::string(text, static_cast<size_t>(sqlite3_column_bytes(stmt_, column)))
                : std::string();
  }
  std::vector<BYTE> Blob(int column) const {
    const auto* data = static_cast<const BYTE*>(sqlite3_column_blob(stmt_, column));
    const int size = sqlite3_column_bytes(stmt_, column);
    return data ? std::vector<BYTE>(data, data + size) : std::vector<BYTE>();
  }

 private:
  static void Check(int rc) {
    if (rc != SQLITE_OK) throw DatabaseError{rc};
  }
  sqlite3_stmt* stmt_ = nullptr;
};

int64_t RootIndex(HKEY root) {
  return static_cast<int64_t>(reinterpret_cast<uintptr_t>(root) - 0x80000000u);
}

// Upper bound of the paths below `path`: '\' is 0x5C and ']' 0x5D, so every
// "path\..." sorts at or after "path\" and before "path]".
std::string SubtreeLow(const std::string& path) { return path + "\\"; }
std::string SubtreeHigh(const std::string& path) { return path + "]"; }

const char kSchema[] =
    "CREATE TABLE IF NOT EXISTS reg_keys("
    " root INTEGER NOT NULL, path TEXT NOT NULL, parent TEXT NOT NULL, name TEXT NOT NULL,"
    " PRIMARY KEY(root, path)) WITHOUT ROWID;"
    "CREATE INDEX IF NOT EXISTS reg_keys_by_parent ON reg_keys(root, parent, path);"
    "CREATE TABLE IF NOT EXISTS reg_values("
    " root INTEGER NOT NULL, key TEXT NOT NULL, folded TEXT NOT NULL, name TEXT NOT NULL,"
    " type INTEGER NOT NULL, data BLOB NOT NULL,"
    " PRIMARY KEY(root, key, folded)) WITHOUT ROWID;";


std::string HomeFolder() {
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] != '\0') return home;
  if (const passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_dir != nullptr)
    return entry->pw_dir;
  return "/tmp";
}

// Prepares a freshly opened database: write-ahead logging and the tables.
int InitialiseDatabase(sqlite3* db) {
  sqlite3_busy_timeout(db, kBusyTimeoutMs);
  int rc = sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
  // A read-only file cannot switch its journal mode; that is fine for reads.
  if (rc != SQLITE_OK && (rc & 0xFF) != SQLITE_READONLY) return rc;
  // With write-ahead logging, NORMAL keeps every commit atomic across a crash
  // (a commit is either in the file or not) without a flush per write.
  sqlite3_exec(db, "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
  sqlite3_stmt* probe = nullptr;
  rc = sqlite3_prepare_v2(db,
                          "SELECT count(*) FROM sqlite_master WHERE type='table' AND "
                          "name IN ('reg_keys','reg_values')",
                          -1, &probe, nullptr);
  if (rc != SQLITE_OK) return rc;
  rc = sqlite3_step(probe);
  const bool ready = rc == SQLITE_ROW && sqlite3_column_int(probe, 0) == 2;
  sqlite3_finalize(probe);
  if (rc != SQLITE_ROW) return rc;
  if (ready) return SQLITE_OK;
  return sqlite3_exec(db, kSchema, nullptr, nullptr, nullptr);
}

// Makes sure the process connection points at the current database. For a
// read of a database that does not exist yet, answers success with no
// connection (db stays null).
LSTATUS EnsureConnection(Connection& connection, bool write) {
  const std::string path = DatabasePath();
  struct stat info;
  const bool exists = stat(path.c_str(), &info) == 0;
  if (connection.db != nullptr) {
    if (connection.pid == getpid() && connection.path == path && exists &&
        info.st_dev == connection.device && info.st_ino == connection.inode)
      return ERROR_SUCCESS;
    if (connection.pid == getpid() && connection.path == path) {
      // The file was removed or replaced: closing must not delete the
      // write-ahead log now at that path, which belongs to the new file.
      int keep = 1;
      sqlite3_file_control(connection.db, "main", SQLITE_FCNTL_PERSIST_WAL, &keep);
    }
    connection.Close();
  }
  if (!write && !exists) return ERROR_SUCCESS;
  const std::filesystem::path parent = std::filesystem::path(path).parent_path();
  if (!parent.empty()) {
    std::error_code error;
    std::filesystem::create_directories(parent, error);
    if (error) return StatusFromErrno(error.value());
  }
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(path.c_str(), &db,
                           SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                           nullptr);
  if (rc == SQLITE_OK) rc = InitialiseDatabase(db);
  if (rc != SQLITE_OK) {
    sqlite3_close_v2(db);
    return StatusFromSqlite(rc, write);
  }
  if (stat(path.c_str(), &info) != 0) {
    sqlite3_close_v2(db);
    return StatusFromErrno(errno);
  }
  connection.db = db;
  connection.path = path;
  connection.pid = getpid();
  connection.device = info.st_dev;
  connection.inode = info.st_ino;
  return ERROR_SUCCESS;
}

void RollBackIfOpen(Connection& connection) {
  if (connection.db != nullptr && sqlite3_get_autocommit(connection.db) == 0)
    sqlite3_exec(connection.db, "ROLLBACK", nullptr, nullptr, nullptr);
}

LSTATUS Run(const std::function<LSTATUS(Transaction&)>& work, bool write,
            Transaction& transaction, Connection* connection) {
  try {
    if (connection == nullptr) return work(transaction);
    {
      Statement begin(*connection, write ? "BEGIN IMMEDIATE" : "BEGIN");
      begin.Run();
    }
    const LSTATUS status = work(transaction);
    if (status != ERROR_SUCCESS) {
      RollBackIfOpen(*connection);
      return status;
    }
    Statement commit(*connection, "COMMIT");
    commit.Run();
    return ERROR_SUCCESS;
  } catch (const DatabaseError& error) {
    if (connection == nullptr) return write ? ERROR_CANTWRITE : ERROR_CANTREAD;
    RollBackIfOpen(*connection);
    const LSTATUS status = StatusFromSqlite(error.code, write);
    // A database that turned out to be damaged is opened afresh next time.
    if (status == ERROR_BADDB) connection->Close();
    return status;
  } catch (const std::bad_alloc&) {
    if (connection != nullptr) RollBackIfOpen(*connection);
    return ERROR_OUTOFMEMORY;
  } catch (...) {
    if (connection != nullptr) RollBackIfOpen(*connection);
    return write ? ERROR_CANTWRITE : ERROR_CANTREAD;
  }
}

}  // namespace

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

LSTATUS RunRead(const std::function<LSTATUS(Transaction&)>& work) {
  std::lock_guard<std::mutex> lock(ConnectionMutex());
  Connection& connection = TheConnection();
  try {
    const LSTATUS status = EnsureConnection(connection, false);
    if (status != ERROR_SUCCESS) return status;
  } catch (const std::bad_alloc&) {
    return ERROR_OUTOFMEMORY;
  }
  Transaction transaction(connection.db ? &connection : nullptr);
  return Run(work, false, transaction, connection.db ? &connection : nullptr);
}

LSTATUS RunWrite(const std::function<LSTATUS(Transaction&)>& work) {
  std::lock_guard<std::mutex> lock(ConnectionMutex());
  Connection& connection = TheConnection();
  try {
    const LSTATUS status = EnsureConnection(connection, true);
    if (status != ERROR_SUCCESS) return status;
  } catch (const std::bad_alloc&) {
    return ERROR_OUTOFMEMORY;
  }
  Transaction transaction(&connection);
  return Run(work, true, transaction, &connection);
}

// ---------------------------------------------------------------- operations

#define QX_CONNECTION (*static_cast<Connection*>(connection_))

bool Transaction::KeyExists(const KeyLocation& key) {
  if (key.folded.empty()) return true;
  if (connection_ == nullptr) return false;
  Statement query(QX_CONNECTION, "SELECT 1 FROM reg_keys WHERE root=?1 AND path=?2");
  query.Bind(1, RootIndex(key.root)).Bind(2, key.folded);
  return query.Step();
}

bool Transaction::CreateKey(const KeyLocation& key) {
  if (key.folded.empty()) return false;
  // Walk from the top so every missing parent is made with the caller's case.
  bool created = false;
  size_t folded_end = 0;
  size_t display_end = 0;
  while (true) {
    folded_end = key.folded.find('\\', folded_end);
    display_end = key.display.find('\\', display_end);
    const std::string path = key.folded.substr(0, folded_end);
    const std::string display = key.display.substr(0, display_end);
    Statement insert(QX_CONNECTION,
                     "INSERT OR IGNORE INTO reg_keys(root, path, parent, name) "
                     "VALUES(?1, ?2, ?3, ?4)");
    insert.Bind(1, RootIndex(key.root))
        .Bind(2, path)
        .Bind(3, ParentPath(path))
        .Bind(4, LastName(display));
    insert.Run();
    created = sqlite3_changes(QX_CONNECTION.db) > 0;
    if (folded_end == std::string::npos) break;
    ++folded_end;
    ++display_end;
  }
  return created;
}

bool Transaction::GetValue(const KeyLocation& key, std::string_view foldedName,
                           ValueRecord& out) {
  if (connection_ == nullptr) return false;
  Statement query(QX_CONNECTION,
                  "SELECT name, type, data FROM reg_values WHERE root=?1 AND key=?2 AND "
                  "folded=?3");
  query.Bind(1, RootIndex(key.root)).Bind(2, key.folded).Bind(3, foldedName);
  if (!query.Step()) return false;
  out.name = query.Text(0);
  out.type = static_cast<DWORD>(query.Int(1));
  out.data = query.Blob(2);
  return true;
}

void Transaction::SetValue(const KeyLocation& key, std::string_view displayName,
                           std::string_view foldedName, DWORD type, const BYTE* data,
                           size_t size) {
  // An existing value keeps the case of its name; only type and data change.
  Statement upsert(QX_CONNECTION,
                   "INSERT INTO reg_values(root, key, folded, name, type, data) "
                   "VALUES(?1, ?2, ?3, ?4, ?5, ?6) ON CONFLICT(root, key, folded) "
                   "DO UPDATE SET type=excluded.type, data=excluded.data");
  upsert.Bind(1, RootIndex(key.root))
      .Bind(2, key.folded)
      .Bind(3, foldedName)
      .Bind(4, displayName)
      .Bind(5, static_cast<int64_t>(type))
      .BindBlob(6, data, size);
  upsert.Run();
}

bool Transaction::DeleteValue(const KeyLocation& key, std::string_view foldedName) {
  Statement remove(QX_CONNECTION,
                   "DELETE FROM reg_values WHERE root=?1 AND key=?2 AND folded=?3");
  remove.Bind(1, RootIndex(key.root)).Bind(2, key.folded).Bind(3, foldedName);
  remove.Run();
  return sqlite3_changes(QX_CONNECTION.db) > 0;
}

void Transaction::DeleteTree(const KeyLocation& key, bool keepKey) {
  const int64_t root = RootIndex(key.root);
  if (key.folded.empty()) {
    Statement keys(QX_CONNECTION, "DELETE FROM reg_keys WHERE root=?1");
    keys.Bind(1, root).Run();
    Statement values(QX_CONNECTION, "DELETE FROM reg_values WHERE root=?1");
    values.Bind(1, root).Run();
    return;
  }
  {
    Statement below(QX_CONNECTION,
                    "DELETE FROM reg_keys WHERE root=?1 AND path>=?2 AND path<?3");
    below.Bind(1, root).Bind(2, SubtreeLow(key.folded)).Bind(3, SubtreeHigh(key.folded)).Run();
  }
  {
    Statement below(QX_CONNECTION,
                    "DELETE FROM reg_values WHERE root=?1 AND key>=?2 AND key<?3");
    below.Bind(1, root).Bind(2, SubtreeLow(key.folded)).Bind(3, SubtreeHigh(key.folded)).Run();
  }
  {
    Statement own(QX_CONNECTION, "DELETE FROM reg_values WHERE root=?1 AND key=?2");
    own.Bind(1, root).Bind(2, key.folded).Run();
  }
  if (!keepKey) {
    Statement self(QX_CONNECTION, "DELETE FROM reg_keys WHERE root=?1 AND path=?2");
    self.Bind(1, root).Bind(2, key.folded).Run();
  }
}

bool Transaction::SubkeyAt(const KeyLocation& key, DWORD index, std::string& displayName) {
  if (connection_ == nullptr) return false;
  Statement query(QX_CONNECTION,
                  "SELECT name FROM reg_keys WHERE root=?1 AND parent=?2 ORDER BY path "
                  "LIMIT 1 OFFSET ?3");
  query.Bind(1, RootIndex(key.root)).Bind(2, key.folded).Bind(3, static_cast<int64_t>(index));
  if (!query.Step()) return false;
  displayName = query.Text(0);
  return true;
}

bool Transaction::ValueAt(const KeyLocation& key, DWORD index, ValueRecord& out) {
  if (connection_ == nullptr) return false;
  Statement query(QX_CONNECTION,
                  "SELECT name, type, data FROM reg_values WHERE root=?1 AND key=?2 "
                  "ORDER BY folded LIMIT 1 OFFSET ?3");
  query.Bind(1, RootIndex(key.root)).Bind(2, key.folded).Bind(3, static_cast<int64_t>(index));
  if (!query.Step()) return false;
  out.name = query.Text(0);
  out.type = static_cast<DWORD>(query.Int(1));
  out.data = query.Blob(2);
  return true;
}

std::vector<std::string> Transaction::Subkeys(const KeyLocation& key) {
  std::vector<std::string> names;
  if (connection_ == nullptr) return names;
  Statement query(QX_CONNECTION,
                  "SELECT name FROM reg_keys WHERE root=?1 AND parent=?2 ORDER BY path");
  query.Bind(1, RootIndex(key.root)).Bind(2, key.folded);
  while (query.Step()) names.push_back(query.Text(0));
  return names;
}

std::vector<ValueRecord> Transaction::Values(const KeyLocation& key) {
  std::vector<ValueRecord> values;
  if (connection_ == nullptr) return values;
  Statement query(QX_CONNECTION,
                  "SELECT name, type, data FROM reg_values WHERE root=?1 AND key=?2 "
                  "ORDER BY folded");
  query.Bind(1, RootIndex(key.root)).Bind(2, key.folded);
  while (query.Step()) {
    ValueRecord record;
    record.name = query.Text(0);
    record.type = static_cast<DWORD>(query.Int(1));
    record.data = query.Blob(2);
    values.push_back(std::move(record));
  }
  return values;
}

#undef QX_CONNECTION

}  // namespace qx::registry

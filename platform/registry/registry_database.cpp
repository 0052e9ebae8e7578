#include "platform/registry/registry_database.h"

#include <pwd.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <unordered_map>

#include "platform/com/text.h"

namespace qx::registry {

namespace {

// How long a writer waits for another process's transaction to finish.
constexpr int kBusyTimeoutMs = 15000;

enum class Store { User = 0, Machine = 1 };
constexpr size_t kStoreCount = 2;

// A failure of a database: the status answered to the caller, and the file
// and reason recorded in the thread's error record.
struct StoreFailure {
  LSTATUS status;
  std::string path;
  std::string reason;
};

// One open database of this process. A connection inherited through fork()
// belongs to the parent and is never used (or closed) by the child.
struct Connection {
  sqlite3* db = nullptr;
  std::string path;
  pid_t pid = 0;
  bool readOnly = false;
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
Connection& TheConnection(Store store) {
  static auto* connections = new std::array<Connection, kStoreCount>;
  return (*connections)[static_cast<size_t>(store)];
}

// Closes the connections at normal process exit so the write-ahead log is
// checkpointed.
struct ConnectionCloser {
  ~ConnectionCloser() {
    std::lock_guard<std::mutex> lock(ConnectionMutex());
    TheConnection(Store::User).Close();
    TheConnection(Store::Machine).Close();
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

// SQLite's message, with the system's reason when a system call failed.
std::string SqliteReason(sqlite3* db, int rc) {
  std::string reason = db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
  const int system_error = db != nullptr ? sqlite3_system_errno(db) : 0;
  if (system_error != 0) reason += std::string(" (") + std::strerror(system_error) + ")";
  return reason;
}

[[noreturn]] void ThrowSqlite(const Connection& connection, int rc, bool write) {
  throw StoreFailure{StatusFromSqlite(rc, write), connection.path,
                     SqliteReason(connection.db, rc)};
}

// A cached prepared statement, reset when the guard goes out of scope.
class Statement {
 public:
  Statement(Connection& connection, const char* sql) : connection_(connection) {
    auto found = connection.statements.find(sql);
    if (found != connection.statements.end()) {
      stmt_ = found->second;
    } else {
      const int rc = sqlite3_prepare_v3(connection.db, sql, -1, SQLITE_PREPARE_PERSISTENT,
                                        &stmt_, nullptr);
      if (rc != SQLITE_OK) ThrowSqlite(connection, rc, false);
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
    ThrowSqlite(connection_, rc, !sqlite3_stmt_readonly(stmt_));
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
  void Check(int rc) {
    if (rc != SQLITE_OK) ThrowSqlite(connection_, rc, false);
  }
  Connection& connection_;
  sqlite3_stmt* stmt_ = nullptr;
};

// Runs one statement that returns no rows, outside the statement cache.
void Execute(Connection& connection, const char* sql) {
  const int rc = sqlite3_exec(connection.db, sql, nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) ThrowSqlite(connection, rc, true);
}

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

// Makes sure the connection of `store` points at its current database, and
// is writable when `write`. A database that does not exist yet is created
// for a write; for a read, the answer is success with no connection (db
// stays null). Throws StoreFailure.
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
    StoreFailure failure{StatusFromSqlite(rc, write), path, SqliteReason(db, rc)};
    if (write && access(path.c_str(), W_OK) != 0 && errno == EACCES) {
      failure.status = ERROR_ACCESS_DENIED;
      failure.reason = "permission denied";
    }
    sqlite3_close_v2(db);
    throw failure;
  }
  if (stat(path.c_str(), &info) != 0) {
    const int error = errno;
    sqlite3_close_v2(db);
    throw StoreFailure{StatusFromErrno(error), path, std::strerror(error)};
  }
  connection.db = db;
  connection.path = path;
  connection.pid = getpid();
  connection.readOnly = readOnly;
  connection.device = info.st_dev;
  connection.inode = info.st_ino;
}

// Where one key lives in one database.
struct Place {
  Store store;
  int64_t root;
  std::string folded;
  std::string display;
};

constexpr char kClassesFolded[] = "software\\classes";
constexpr char kClassesDisplay[] = "Software\\Classes";

Place ClassesPlace(Store store, const KeyLocation& key) {
  const HKEY root = store == Store::User ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
  if (key.folded.empty()) return {store, RootIndex(root), kClassesFolded, kClassesDisplay};
  return {store, RootIndex(root), std::string(kClassesFolded) + "\\" + key.folded,
          std::string(kClassesDisplay) + "\\" + key.display};
}

// Where a read looks, in order: the user's place first for the classes view.
std::vector<Place> ReadPlaces(const KeyLocation& key) {
  if (key.root == HKEY_CLASSES_ROOT)
    return {ClassesPlace(Store::User, key), ClassesPlace(Store::Machine, key)};
  const Store store = key.root == HKEY_LOCAL_MACHINE ? Store::Machine : Store::User;
  return {Place{store, RootIndex(key.root), key.folded, key.display}};
}

// Where a write goes: changes through the classes view go to the user's.
Place WritePlace(const KeyLocation& key) { return ReadPlaces(key).front(); }

}  // namespace

// The databases one transaction has begun on, and (for a thread's own
// transaction) the savepoint of the operation running inside it.
struct TransactionState {
  bool write = false;
  bool threadLevel = false;
  std::array<bool, kStoreCount> begun{};
  std::array<bool, kStoreCount> inSavepoint{};

  // The connection of `store` inside this transaction, or null when a read
  // finds no database.
  Connection* Use(Store store, bool forWrite) {
    Connection& connection = TheConnection(store);
    const size_t index = static_cast<size_t>(store);
    if (!begun[index]) {
      // A writing transaction takes the write lock at once even for a read,
      // so a later write never has to upgrade the lock (which cannot wait).
      EnsureConnection(connection, store, forWrite);
      if (connection.db == nullptr) return nullptr;
      Statement begin(connection,
                      write && !connection.readOnly ? "BEGIN IMMEDIATE" : "BEGIN");
      begin.Run();
      begun[index] = true;
    } else if (forWrite && connection.readOnly) {
      throw StoreFailure{ERROR_ACCESS_DENIED, connection.path, "opened for reading only"};
    }
    if (connection.db == nullptr) return nullptr;
    if (threadLevel && !inSavepoint[index]) {
      Statement savepoint(connection, "SAVEPOINT operation");
      savepoint.Run();
      inSavepoint[index] = true;
    }
    return &connection;
  }

  Connection& UseForWrite(Store store) { return *Use(store, true); }

  // Ends the savepoints of one operation inside a thread's transaction.
  void EndOperation(bool keep) {
    for (size_t i = 0; i < kStoreCount; ++i) {
      if (!inSavepoint[i]) continue;
      inSavepoint[i] = false;
      Connection& connection = TheConnection(static_cast<Store>(i));
      if (!keep) Execute(connection, "ROLLBACK TO operation");
      Execute(connection, "RELEASE operation");
    }
  }

  // Commits every begun database; throws at the first failure (the caller
  // then rolls back the rest).
  void Commit() {
    for (size_t i = 0; i < kStoreCount; ++i) {
      if (!begun[i]) continue;
      Execute(TheConnection(static_cast<Store>(i)), "COMMIT");
      begun[i] = false;
    }
  }

  void RollBack() {
    for (size_t i = 0; i < kStoreCount; ++i) {
      inSavepoint[i] = false;
      if (!begun[i]) continue;
      begun[i] = false;
      Connection& connection = TheConnection(static_cast<Store>(i));
      if (connection.db != nullptr && sqlite3_get_autocommit(connection.db) == 0)
        sqlite3_exec(connection.db, "ROLLBACK", nullptr, nullptr, nullptr);
    }
  }
};

namespace {

// The calling thread's own transaction, holding the registry's mutex from
// its beginning to its end.
struct ThreadTransaction {
  std::unique_lock<std::mutex> lock;
  TransactionState state;
};
thread_local std::unique_ptr<ThreadTransaction> t_transaction;

// Makes the failure the thread's error record, so that whoever reports the
// failed call can say which file failed and why.
void RecordFailure(const StoreFailure& failure, bool write) {
  std::u16string text = Utf8ToUtf16(std::string(write ? "Cannot write" : "Cannot read") +
                                    " the registry database " + failure.path + ": " +
                                    failure.reason);
  ICreateErrorInfo* record = nullptr;
  if (FAILED(CreateErrorInfo(&record))) return;
  record->SetSource(const_cast<LPOLESTR>(u"Registry"));
  record->SetDescription(text.data());
  IErrorInfo* info = nullptr;
  if (SUCCEEDED(record->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)))) {
    SetErrorInfo(0, info);
    info->Release();
  }
  record->Release();
}

// A damaged database is opened afresh next time.
void ForgetDamaged(const StoreFailure& failure) {
  if (failure.status != ERROR_BADDB) return;
  for (size_t i = 0; i < kStoreCount; ++i) {
    Connection& connection = TheConnection(static_cast<Store>(i));
    if (connection.path == failure.path) connection.Close();
  }
}

template <class Body>
LSTATUS Reporting(bool write, Body body) {
  try {
    return body();
  } catch (const StoreFailure& failure) {
    try {
      RecordFailure(failure, write);
    } catch (const std::bad_alloc&) {
    }
    return failure.status;
  } catch (const std::bad_alloc&) {
    return ERROR_OUTOFMEMORY;
  } catch (...) {
    return write ? ERROR_CANTWRITE : ERROR_CANTREAD;
  }
}

// One operation inside the thread's transaction: its own savepoint, kept
// when `work` succeeds and undone otherwise.
LSTATUS RunInThreadTransaction(const std::function<LSTATUS(Transaction&)>& work, bool write) {
  TransactionState& state = t_transaction->state;
  return Reporting(write, [&]() -> LSTATUS {
    Transaction transaction(state);
    LSTATUS status;
    try {
      status = work(transaction);
    } catch (...) {
      state.EndOperation(false);
      throw;
    }
    state.EndOperation(status == ERROR_SUCCESS);
    return status;
  });
}

LSTATUS Run(const std::function<LSTATUS(Transaction&)>& work, bool write) {
  if (t_transaction) return RunInThreadTransaction(work, write);
  std::lock_guard<std::mutex> lock(ConnectionMutex());
  TransactionState state;
  state.write = write;
  const LSTATUS status = Reporting(write, [&]() -> LSTATUS {
    try {
      Transaction transaction(state);
      const LSTATUS answer = work(transaction);
      if (answer != ERROR_SUCCESS) {
        state.RollBack();
        return answer;
      }
      state.Commit();
      return ERROR_SUCCESS;
    } catch (const StoreFailure& failure) {
      state.RollBack();
      ForgetDamaged(failure);
      throw;
    } catch (...) {
      state.RollBack();
      throw;
    }
  });
  return status;
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

std::string MachineDatabasePath() {
  const char* explicit_path = std::getenv("QXNET_SYSTEM_REGISTRY");
  if (explicit_path != nullptr && explicit_path[0] != '\0') return explicit_path;
  return "/var/lib/qxnet/registry.db";
}

LSTATUS RunRead(const std::function<LSTATUS(Transaction&)>& work) { return Run(work, false); }

LSTATUS RunWrite(const std::function<LSTATUS(Transaction&)>& work) { return Run(work, true); }

LSTATUS BeginThreadTransaction() {
  if (t_transaction) return ERROR_INVALID_FUNCTION;
  try {
    auto transaction = std::make_unique<ThreadTransaction>();
    transaction->lock = std::unique_lock<std::mutex>(ConnectionMutex());
    transaction->state.write = true;
    transaction->state.threadLevel = true;
    t_transaction = std::move(transaction);
    return ERROR_SUCCESS;
  } catch (const std::bad_alloc&) {
    return ERROR_OUTOFMEMORY;
  }
}

LSTATUS EndThreadTransaction(bool commit) {
  if (!t_transaction) return ERROR_INVALID_FUNCTION;
  // Released (with the mutex) whatever happens below.
  const std::unique_ptr<ThreadTransaction> transaction = std::move(t_transaction);
  TransactionState& state = transaction->state;
  return Reporting(true, [&]() -> LSTATUS {
    try {
      if (commit) {
        state.Commit();
      } else {
        state.RollBack();
      }
      return ERROR_SUCCESS;
    } catch (const StoreFailure& failure) {
      state.RollBack();
      ForgetDamaged(failure);
      throw;
    } catch (...) {
      state.RollBack();
      throw;
    }
  });
}

// ---------------------------------------------------------------- operations

namespace {

bool KeyExistsAt(Connection& connection, const Place& place) {
  Statement query(connection, "SELECT 1 FROM reg_keys WHERE root=?1 AND path=?2");
  query.Bind(1, place.root).Bind(2, place.folded);
  return query.Step();
}

bool CreateKeyAt(Connection& connection, const Place& place) {
  // Walk from the top so every missing parent is made with the caller's case.
  bool created = false;
  size_t folded_end = 0;
  size_t display_end = 0;
  while (true) {
    folded_end = place.folded.find('\\', folded_end);
    display_end = place.display.find('\\', display_end);
    const std::string path = place.folded.substr(0, folded_end);
    const std::string display = place.display.substr(0, display_end);
    Statement insert(connection,
                     "INSERT OR IGNORE INTO reg_keys(root, path, parent, name) "
                     "VALUES(?1, ?2, ?3, ?4)");
    insert.Bind(1, place.root).Bind(2, path).Bind(3, ParentPath(path)).Bind(4, LastName(display));
    insert.Run();
    created = sqlite3_changes(connection.db) > 0;
    if (folded_end == std::string::npos) break;
    ++folded_end;
    ++display_end;
  }
  return created;
}

ValueRecord ReadRecord(const Statement& query) {
  ValueRecord record;
  record.name = query.Text(0);
  record.type = static_cast<DWORD>(query.Int(1));
  record.data = query.Blob(2);
  return record;
}

// Subkeys of one place, by folded name -> display name.
void CollectSubkeys(Connection& connection, const Place& place,
                    std::map<std::string, std::string>& names) {
  Statement query(connection,
                  "SELECT path, name FROM reg_keys WHERE root=?1 AND parent=?2 ORDER BY path");
  query.Bind(1, place.root).Bind(2, place.folded);
  while (query.Step()) names.try_emplace(LastName(query.Text(0)), query.Text(1));
}

void CollectValues(Connection& connection, const Place& place,
                   std::map<std::string, ValueRecord>& values) {
  Statement query(connection,
                  "SELECT name, type, data, folded FROM reg_values WHERE root=?1 AND key=?2 "
                  "ORDER BY folded");
  query.Bind(1, place.root).Bind(2, place.folded);
  while (query.Step()) values.try_emplace(query.Text(3), ReadRecord(query));
}

}  // namespace

bool Transaction::KeyExists(const KeyLocation& key) {
  if (key.folded.empty()) return true;
  for (const Place& place : ReadPlaces(key)) {
    Connection* connection = state_.Use(place.store, false);
    if (connection != nullptr && KeyExistsAt(*connection, place)) return true;
  }
  return false;
}

bool Transaction::CreateKey(const KeyLocation& key) {
  if (key.folded.empty() && key.root != HKEY_CLASSES_ROOT) return false;
  const Place place = WritePlace(key);
  return CreateKeyAt(state_.UseForWrite(place.store), place);
}

bool Transaction::GetValue(const KeyLocation& key, std::string_view foldedName,
                           ValueRecord& out) {
  for (const Place& place : ReadPlaces(key)) {
    Connection* connection = state_.Use(place.store, false);
    if (connection == nullptr) continue;
    Statement query(*connection,
                    "SELECT name, type, data FROM reg_values WHERE root=?1 AND key=?2 AND "
                    "folded=?3");
    query.Bind(1, place.root).Bind(2, place.folded).Bind(3, foldedName);
    if (query.Step()) {
      out = ReadRecord(query);
      return true;
    }
  }
  return false;
}

void Transaction::SetValue(const KeyLocation& key, std::string_view displayName,
                           std::string_view foldedName, DWORD type, const BYTE* data,
                           size_t size) {
  const Place place = WritePlace(key);
  Connection& connection = state_.UseForWrite(place.store);
  // A classes key seen in the machine's database gets its own copy in the
  // user's, which the value is written to.
  if (key.root == HKEY_CLASSES_ROOT) CreateKeyAt(connection, place);
  // An existing value keeps the case of its name; only type and data change.
  Statement upsert(connection,
                   "INSERT INTO reg_values(root, key, folded, name, type, data) "
                   "VALUES(?1, ?2, ?3, ?4, ?5, ?6) ON CONFLICT(root, key, folded) "
                   "DO UPDATE SET type=excluded.type, data=excluded.data");
  upsert.Bind(1, place.root)
      .Bind(2, place.folded)
      .Bind(3, foldedName)
      .Bind(4, displayName)
      .Bind(5, static_cast<int64_t>(type))
      .BindBlob(6, data, size);
  upsert.Run();
}

bool Transaction::DeleteValue(const KeyLocation& key, std::string_view foldedName) {
  const Place place = WritePlace(key);
  Connection& connection = state_.UseForWrite(place.store);
  Statement remove(connection, "DELETE FROM reg_values WHERE root=?1 AND key=?2 AND folded=?3");
  remove.Bind(1, place.root).Bind(2, place.folded).Bind(3, foldedName);
  remove.Run();
  return sqlite3_changes(connection.db) > 0;
}

bool Transaction::DeleteTree(const KeyLocation& key, bool keepKey) {
  const Place place = WritePlace(key);
  Connection& connection = state_.UseForWrite(place.store);
  if (place.folded.empty()) {
    Statement keys(connection, "DELETE FROM reg_keys WHERE root=?1");
    keys.Bind(1, place.root).Run();
    Statement values(connection, "DELETE FROM reg_values WHERE root=?1");
    values.Bind(1, place.root).Run();
    return true;
  }
  // The root of the classes view always exists, even with no user classes.
  if (!KeyExistsAt(connection, place)) return key.folded.empty();
  {
    Statement below(connection, "DELETE FROM reg_keys WHERE root=?1 AND path>=?2 AND path<?3");
    below.Bind(1, place.root)
        .Bind(2, SubtreeLow(place.folded))
        .Bind(3, SubtreeHigh(place.folded))
        .Run();
  }
  {
    Statement below(connection, "DELETE FROM reg_values WHERE root=?1 AND key>=?2 AND key<?3");
    below.Bind(1, place.root)
        .Bind(2, SubtreeLow(place.folded))
        .Bind(3, SubtreeHigh(place.folded))
        .Run();
  }
  {
    Statement own(connection, "DELETE FROM reg_values WHERE root=?1 AND key=?2");
    own.Bind(1, place.root).Bind(2, place.folded).Run();
  }
  if (!keepKey) {
    Statement self(connection, "DELETE FROM reg_keys WHERE root=?1 AND path=?2");
    self.Bind(1, place.root).Bind(2, place.folded).Run();
  }
  return true;
}

bool Transaction::SubkeyAt(const KeyLocation& key, DWORD index, std::string& displayName) {
  const std::vector<std::string> names = Subkeys(key);
  if (index >= names.size()) return false;
  displayName = names[index];
  return true;
}

bool Transaction::ValueAt(const KeyLocation& key, DWORD index, ValueRecord& out) {
  std::vector<ValueRecord> values = Values(key);
  if (index >= values.size()) return false;
  out = std::move(values[index]);
  return true;
}

std::vector<std::string> Transaction::Subkeys(const KeyLocation& key) {
  // The user's names come first, so they win where both databases hold a key.
  std::map<std::string, std::string> byFolded;
  for (const Place& place : ReadPlaces(key)) {
    Connection* connection = state_.Use(place.store, false);
    if (connection != nullptr) CollectSubkeys(*connection, place, byFolded);
  }
  std::vector<std::string> names;
  names.reserve(byFolded.size());
  for (auto& entry : byFolded) names.push_back(std::move(entry.second));
  return names;
}

std::vector<ValueRecord> Transaction::Values(const KeyLocation& key) {
  std::map<std::string, ValueRecord> byFolded;
  for (const Place& place : ReadPlaces(key)) {
    Connection* connection = state_.Use(place.store, false);
    if (connection != nullptr) CollectValues(*connection, place, byFolded);
  }
  std::vector<ValueRecord> values;
  values.reserve(byFolded.size());
  for (auto& entry : byFolded) values.push_back(std::move(entry.second));
  return values;
}

}  // namespace qx::registry

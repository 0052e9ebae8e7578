// One SQLite connection per registry database (the user's and the
// machine's) and process: opening or creating the file, its journal and
// tables, failures that name the file, and cached prepared statements.
#pragma once

#include <sqlite3.h>
#include <sys/types.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/registry/change_watch.h"
#include "qxnet/platform.h"

namespace qx::registry {

enum class Store { User = 0, Machine = 1 };
inline constexpr size_t kStoreCount = 2;

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
  // ForkGeneration() when it was opened: a differing one means that this
  // is a child process (told without asking for the process id).
  uint64_t forkGeneration = 0;
  std::unordered_map<const char*, sqlite3_stmt*> statements;
  // Commits to the database, for the class registry's cache.
  ChangeWatch watch;

  // Closes the database (unless it belongs to a parent process).
  void Close();
};

// How many times this process was forked from its ancestors; a child
// process sees a higher number than its parent did.
uint64_t ForkGeneration();

// The registry's mutex, and the connection of each database. Both live on
// the heap and are never destroyed, so that calls made while static objects
// are being torn down still find a usable (re-openable) connection.
std::mutex& ConnectionMutex();
Connection& TheConnection(Store store);

// Throws the failure of SQLite's result `rc` on `connection`.
[[noreturn]] void ThrowSqlite(const Connection& connection, int rc, bool write);

// A cached prepared statement, reset when the guard goes out of scope.
class Statement {
 public:
  Statement(Connection& connection, const char* sql) : connection_(connection) {
    auto found = connection.statements.find(sql);
    if (found != connection.statements.end()) {
      stmt_ = found->second;
    } else {
      const int rc =
          sqlite3_prepare_v3(connection.db, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt_, nullptr);
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
void Execute(Connection& connection, const char* sql);

// Makes sure the connection of `store` points at its current database, and
// is writable when `write`. A database that does not exist yet is created
// for a write; for a read, the answer is success with no connection (db
// stays null). Throws StoreFailure.
void EnsureConnection(Connection& connection, Store store, bool write);

}  // namespace qx::registry

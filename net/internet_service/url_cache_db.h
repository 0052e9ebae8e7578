// The shared plumbing of the cache index: the prepared-statement wrapper and
// the one write transaction every index operation runs in.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <functional>
#include <string>

namespace qx::inet {

// A partial download left alone this long (FILETIME ticks) is given up.
constexpr int64_t kPartialLifetimeTicks = int64_t{7} * 24 * 3600 * 10'000'000;

// Sets the last error from a failed SQLite call; always answers false.
bool SqliteFailure(sqlite3* db, int rc);

// A prepared statement. On the process's connection to the index each text
// is prepared once and kept, reset after every use; elsewhere (and while
// the kept one is in use) the statement is prepared for this use alone.
class Statement {
 public:
  Statement(sqlite3* db, const char* sql);
  ~Statement();
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  bool ok() const { return rc_ == SQLITE_OK; }
  int rc() const { return rc_; }
  Statement& Bind(int at, const std::string& text);
  Statement& Bind(int at, int64_t value);
  // SQLITE_ROW, SQLITE_DONE or an error.
  int Step() { return sqlite3_step(statement_); }
  int64_t Int(int column) const { return sqlite3_column_int64(statement_, column); }
  std::string Text(int column) const;

 private:
  sqlite3_stmt* statement_ = nullptr;
  int rc_ = SQLITE_OK;
  bool* kept_ = nullptr;  // the kept statement's in-use mark, or nullptr when owned
};

// Runs one statement (a single one) that returns no rows; false with the
// last error set.
bool Execute(sqlite3* db, const char* sql);

// Work on the index; `folder` receives the cache folder. A false answer
// rolls back. When a statement of the work finds the index file damaged, the
// index is rebuilt empty and the work runs once more: it must start from a
// clean state each time (clear what it collects).
using IndexWork = std::function<bool(sqlite3* db, const std::string& folder)>;

// Runs `work` inside one write transaction on the index of the cache folder
// (opened and, when due, swept on first use in the process).
bool InCacheTransaction(const IndexWork& work);

// Runs `work` inside one transaction that only reads: it sees one committed
// state of the index and waits for no writer. A later write on what it read
// needs InCacheTransaction, reading again there.
bool InCacheRead(const IndexWork& work);

// What the process keeps about the index on its connection, forgotten when
// the connection closes (another folder, a rebuilt index, a fork).
struct IndexMemo {
  // An upper bound of the bytes the entries record (-1: unknown), and the
  // data version of the index it was summed at.
  int64_t entryBytesBound = -1;
  int64_t entryBytesVersion = 0;
};

// The memo of `db` when it is the process's connection (whose lock the
// caller holds), else nullptr.
IndexMemo* MemoOf(sqlite3* db);

// The bytes the entries record; with `exact` false possibly an upper bound,
// which needs no pass over the entries while no other connection has
// changed the index since the last exact count.
bool EntryBytes(sqlite3* db, bool exact, uint64_t& bytes);
// Raises the bound by an entry of `size` bytes this process is adding.
void NoteEntryBytesAdded(sqlite3* db, int64_t size);

// Upkeep run on the index when a process first opens it (inside the
// connection's lock, outside any transaction): the sweep of files no entry
// names, at most once a day per folder.
void SweepCacheFolderIfDue(sqlite3* db, const std::string& folder);

}  // namespace qx::inet

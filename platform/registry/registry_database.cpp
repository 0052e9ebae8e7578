#include "platform/registry/registry_database.h"

#include <array>
#include <map>
#include <memory>
#include <mutex>
#include <new>

#include "platform/registry/registry_connection.h"
#include "platform/registry/registry_version.h"
#include "qxnet/text.h"

namespace qx::registry {

namespace {

int64_t RootIndex(HKEY root) {
  return static_cast<int64_t>(reinterpret_cast<uintptr_t>(root) - 0x80000000u);
}

// Upper bound of the paths below `path`: '\' is 0x5C and ']' 0x5D, so every
// "path\..." sorts at or after "path\" and before "path]".
std::string SubtreeLow(const std::string& path) { return path + "\\"; }
std::string SubtreeHigh(const std::string& path) { return path + "]"; }

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

// The databases one transaction has opened (and, when it writes, begun a
// transaction on), and for a thread's own transaction the savepoint of the
// operation running inside it.
struct TransactionState {
  bool write = false;
  bool threadLevel = false;
  std::array<bool, kStoreCount> opened{};
  std::array<bool, kStoreCount> begun{};
  std::array<bool, kStoreCount> inSavepoint{};

  // The connection of `store` inside this transaction, or null when a read
  // finds no database.
  Connection* Use(Store store, bool forWrite) {
    Connection& connection = TheConnection(store);
    const size_t index = static_cast<size_t>(store);
    if (!opened[index]) {
      EnsureConnection(connection, store, forWrite);
      opened[index] = true;
      if (connection.db == nullptr) return nullptr;
      // A writing transaction takes the write lock at once even for a read,
      // so a later write never has to upgrade the lock (which cannot wait).
      // A read needs no transaction: each statement sees one committed state.
      if (write) {
        Statement begin(connection, connection.readOnly ? "BEGIN" : "BEGIN IMMEDIATE");
        begin.Run();
        begun[index] = true;
      }
    } else if (forWrite && connection.readOnly) {
      throw StoreFailure{ERROR_ACCESS_DENIED, connection.path, "opened for reading only"};
    }
    if (connection.db == nullptr) return nullptr;
    if (forWrite) NoteLocalChange();
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
      if (!keep) {
        Execute(connection, "ROLLBACK TO operation");
        NoteLocalChange();
      }
      Execute(connection, "RELEASE operation");
    }
  }

  // Commits every begun database; throws at the first failure (the caller
  // then rolls back the rest).
  void Commit() {
    for (size_t i = 0; i < kStoreCount; ++i) {
      opened[i] = false;
      if (!begun[i]) continue;
      Execute(TheConnection(static_cast<Store>(i)), "COMMIT");
      begun[i] = false;
    }
  }

  void RollBack() {
    for (size_t i = 0; i < kStoreCount; ++i) {
      inSavepoint[i] = false;
      opened[i] = false;
      if (!begun[i]) continue;
      begun[i] = false;
      NoteLocalChange();
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
  std::u16string text =
      Utf8ToUtf16(std::string(write ? "Cannot write" : "Cannot read") + " the registry database " +
                  failure.path + ": " + failure.reason);
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

// Runs `step` over `state`; a failure rolls the transaction back first (a
// damaged database is also forgotten, so the next use opens it anew) and
// then goes on to the caller.
template <class Step>
LSTATUS RollingBackOnFailure(TransactionState& state, Step step) {
  try {
    return step();
  } catch (const StoreFailure& failure) {
    state.RollBack();
    ForgetDamaged(failure);
    throw;
  } catch (...) {
    state.RollBack();
    throw;
  }
}

LSTATUS Run(const std::function<LSTATUS(Transaction&)>& work, bool write) {
  if (t_transaction) return RunInThreadTransaction(work, write);
  std::lock_guard<std::mutex> lock(ConnectionMutex());
  TransactionState state;
  state.write = write;
  return Reporting(write, [&]() -> LSTATUS {
    return RollingBackOnFailure(state, [&]() -> LSTATUS {
      Transaction transaction(state);
      const LSTATUS answer = work(transaction);
      if (answer != ERROR_SUCCESS) {
        state.RollBack();
        return answer;
      }
      state.Commit();
      return ERROR_SUCCESS;
    });
  });
}

}  // namespace

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

bool InThreadTransaction() { return t_transaction != nullptr; }

LSTATUS EndThreadTransaction(bool commit) {
  if (!t_transaction) return ERROR_INVALID_FUNCTION;
  // Released (with the mutex) whatever happens below.
  const std::unique_ptr<ThreadTransaction> transaction = std::move(t_transaction);
  TransactionState& state = transaction->state;
  return Reporting(true, [&]() -> LSTATUS {
    return RollingBackOnFailure(state, [&]() -> LSTATUS {
      if (commit) {
        state.Commit();
      } else {
        state.RollBack();
      }
      return ERROR_SUCCESS;
    });
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

bool Transaction::GetValue(const KeyLocation& key, std::string_view foldedName, ValueRecord& out) {
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
                           std::string_view foldedName, DWORD type, const BYTE* data, size_t size) {
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

bool Transaction::NextSubkey(const KeyLocation& key, const std::string* afterFolded,
                             std::string& folded, std::string& displayName) {
  // The smallest next name of the places; on a tie the user's (read first)
  // wins, as in Subkeys.
  bool found = false;
  for (const Place& place : ReadPlaces(key)) {
    Connection* connection = state_.Use(place.store, false);
    if (connection == nullptr) continue;
    const std::string prefix = place.folded.empty() ? std::string() : place.folded + "\\";
    Statement query(*connection,
                    "SELECT path, name FROM reg_keys WHERE root=?1 AND parent=?2 AND path>?3 "
                    "ORDER BY path LIMIT 1");
    query.Bind(1, place.root)
        .Bind(2, place.folded)
        .Bind(3, afterFolded ? prefix + *afterFolded : prefix);
    if (!query.Step()) continue;
    std::string name = query.Text(0).substr(prefix.size());
    if (!found || name < folded) {
      folded = std::move(name);
      displayName = query.Text(1);
      found = true;
    }
  }
  return found;
}

bool Transaction::NextValue(const KeyLocation& key, const std::string* afterFolded,
                            std::string& folded, ValueRecord& out) {
  bool found = false;
  for (const Place& place : ReadPlaces(key)) {
    Connection* connection = state_.Use(place.store, false);
    if (connection == nullptr) continue;
    // The default value's folded name is empty, so the first one is found
    // with >= and every later one with >.
    Statement query(*connection,
                    afterFolded ? "SELECT name, type, data, folded FROM reg_values WHERE root=?1 "
                                  "AND key=?2 AND folded>?3 ORDER BY folded LIMIT 1"
                                : "SELECT name, type, data, folded FROM reg_values WHERE root=?1 "
                                  "AND key=?2 AND folded>=?3 ORDER BY folded LIMIT 1");
    query.Bind(1, place.root)
        .Bind(2, place.folded)
        .Bind(3, afterFolded ? std::string_view(*afterFolded) : std::string_view(""));
    if (!query.Step()) continue;
    std::string name = query.Text(3);
    if (!found || name < folded) {
      folded = std::move(name);
      out = ReadRecord(query);
      found = true;
    }
  }
  return found;
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

// The SQLite database behind the registry. One connection per process,
// guarded by a mutex; every operation runs inside one transaction, writes
// with BEGIN IMMEDIATE so that concurrent writers from several processes
// wait for one another instead of losing updates.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry/key_path.h"
#include "qxnet/platform.h"

struct sqlite3;
struct sqlite3_stmt;

namespace qx::registry {

struct ValueRecord {
  std::string name;  // display form, UTF-8
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
};

// The operations available inside one transaction. Failures of the database
// are thrown internally and turned into a status code by RunRead/RunWrite.
class Transaction {
 public:
  bool KeyExists(const KeyLocation& key);
  // Creates the key and every missing parent; true when the key itself is new.
  bool CreateKey(const KeyLocation& key);
  bool GetValue(const KeyLocation& key, std::string_view foldedName, ValueRecord& out);
  void SetValue(const KeyLocation& key, std::string_view displayName,
                std::string_view foldedName, DWORD type, const BYTE* data, size_t size);
  bool DeleteValue(const KeyLocation& key, std::string_view foldedName);
  // Deletes the key's subkeys and values; the key itself too unless keepKey.
  void DeleteTree(const KeyLocation& key, bool keepKey);
  // Subkeys and values in a stable order (by their folded names).
  bool SubkeyAt(const KeyLocation& key, DWORD index, std::string& displayName);
  bool ValueAt(const KeyLocation& key, DWORD index, ValueRecord& out);
  std::vector<std::string> Subkeys(const KeyLocation& key);
  std::vector<ValueRecord> Values(const KeyLocation& key);

 private:
  friend LSTATUS RunRead(const std::function<LSTATUS(Transaction&)>& work);
  friend LSTATUS RunWrite(const std::function<LSTATUS(Transaction&)>& work);
  explicit Transaction(void* connection) : connection_(connection) {}
  void* connection_;  // null: no database file yet, every read finds nothing
};

// Runs `work` in a read transaction. A missing database file reads as an
// empty registry and is not created.
LSTATUS RunRead(const std::function<LSTATUS(Transaction&)>& work);
// Runs `work` in a write transaction; it is committed only when `work`
// answers ERROR_SUCCESS, otherwise rolled back.
LSTATUS RunWrite(const std::function<LSTATUS(Transaction&)>& work);

// Where the database lives: $QXNET_REGISTRY, else
// $XDG_CONFIG_HOME/corvane/registry.db (XDG_CONFIG_HOME defaults to ~/.config).
std::string DatabasePath();

}  // namespace qx::registry

// The SQLite databases behind the registry, as the desktop platform has a
// user and a machine hive:
//   HKEY_CURRENT_USER   the user's database ($QXNET_REGISTRY);
//   HKEY_LOCAL_MACHINE  the machine's database ($QXNET_SYSTEM_REGISTRY);
//   HKEY_CLASSES_ROOT   a view of Software\Classes of both: reads look in the
//                       user's first, then in the machine's; writes go to the
//                       user's.
// One connection per database and process, guarded by one mutex. Every
// write runs inside one transaction; writers begin with BEGIN IMMEDIATE
// so that concurrent writers of several processes wait for one another
// (up to a busy timeout) instead of failing or losing updates. A read runs
// its statements on their own, each seeing one committed state, without
// the cost of a transaction of its own.
//
// A thread may also open a transaction of its own (BeginThreadTransaction):
// every operation it runs until EndThreadTransaction joins it, so a whole
// registration is applied completely or not at all.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry/key_path.h"
#include "qxnet/platform.h"

namespace qx::registry {

struct ValueRecord {
  std::string name;  // display form, UTF-8
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
};

struct TransactionState;

// The operations available inside one transaction. Failures of a database
// are thrown internally and turned into a status code (and the thread's
// error record, naming the file and the reason) by RunRead/RunWrite.
class Transaction {
 public:
  bool KeyExists(const KeyLocation& key);
  // Creates the key and every missing parent; true when the key itself is new.
  bool CreateKey(const KeyLocation& key);
  bool GetValue(const KeyLocation& key, std::string_view foldedName, ValueRecord& out);
  void SetValue(const KeyLocation& key, std::string_view displayName, std::string_view foldedName,
                DWORD type, const BYTE* data, size_t size);
  bool DeleteValue(const KeyLocation& key, std::string_view foldedName);
  // Deletes the key's subkeys and values; the key itself too unless keepKey.
  // False when there was no such key to delete (in the classes view: none
  // of the user's; the machine's classes are changed only through HKLM).
  bool DeleteTree(const KeyLocation& key, bool keepKey);
  // Subkeys and values in a stable order (by their folded names): the first
  // one whose folded name sorts after `afterFolded` (from the first one when
  // null). False when there is none.
  bool NextSubkey(const KeyLocation& key, const std::string* afterFolded, std::string& folded,
                  std::string& displayName);
  bool NextValue(const KeyLocation& key, const std::string* afterFolded, std::string& folded,
                 ValueRecord& out);
  std::vector<std::string> Subkeys(const KeyLocation& key);
  std::vector<ValueRecord> Values(const KeyLocation& key);

  explicit Transaction(TransactionState& state) : state_(state) {}

 private:
  TransactionState& state_;
};

// Runs `work` in a read transaction. A missing database file reads as an
// empty registry and is not created.
LSTATUS RunRead(const std::function<LSTATUS(Transaction&)>& work);
// Runs `work` in a write transaction; it is committed only when `work`
// answers ERROR_SUCCESS, otherwise rolled back.
LSTATUS RunWrite(const std::function<LSTATUS(Transaction&)>& work);

// Opens the calling thread's transaction; ERROR_INVALID_FUNCTION when one
// is already open. Other threads' registry calls wait until it ends.
LSTATUS BeginThreadTransaction();
// Commits (or rolls back) the thread's transaction; ERROR_INVALID_FUNCTION
// when none is open. A failed commit rolls back and answers the failure.
LSTATUS EndThreadTransaction(bool commit);
// Whether the calling thread has its own transaction open.
bool InThreadTransaction();

// The user's database: $QXNET_REGISTRY, else
// $XDG_CONFIG_HOME/corvane/registry.db (XDG_CONFIG_HOME defaults to ~/.config).
std::string DatabasePath();
// The machine's database: $QXNET_SYSTEM_REGISTRY, else
// /var/lib/qxnet/registry.db.
std::string MachineDatabasePath();

}  // namespace qx::registry

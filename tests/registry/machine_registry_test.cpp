// The user's and the machine's registry databases: which one each root
// reads and writes, the classes view merged from both, a damaged machine
// database, databases of the older single-file layout, and the redirection
// of HKEY_CLASSES_ROOT used for system-wide registration.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/registry/registrar.h"
#include "tests/registry/registry_test_util.h"
#include "tests/support/com_test.h"

namespace {

using qx::registry::ReadString;
using qx::registry::WriteString;
using regtest::ReadStringOrEmpty;

std::string MachinePath() { return std::getenv("QXNET_SYSTEM_REGISTRY"); }
std::string UserPath() { return std::getenv("QXNET_REGISTRY"); }

// Writes a value below the root's Software\Classes.
void WriteClass(HKEY root, std::u16string_view path, std::u16string_view name,
                std::u16string_view text) {
  ASSERT_EQ(WriteString(root, u"Software\\Classes\\" + std::u16string(path), name, text),
            ERROR_SUCCESS);
}

std::string Description(const qxtest::ErrorRecord& record) {
  return qxtest::Narrow(record.description);
}

TEST(MachineRegistry, ClassesViewReadsTheUsersClassesOverTheMachines) {
  WriteClass(HKEY_LOCAL_MACHINE, u"CLSID\\{A}\\InprocServer32", u"", u"/usr/lib/libmachine.so");
  WriteClass(HKEY_LOCAL_MACHINE, u"CLSID\\{A}\\InprocServer32", u"ThreadingModel", u"Free");
  WriteClass(HKEY_CURRENT_USER, u"CLSID\\{A}\\InprocServer32", u"", u"/home/me/libmine.so");
  WriteClass(HKEY_LOCAL_MACHINE, u"Machine.Only", u"", u"machine");
  WriteClass(HKEY_CURRENT_USER, u"User.Only", u"", u"user");

  struct Case {
    std::u16string path, name, expected;
  } cases[] = {
      {u"CLSID\\{A}\\InprocServer32", u"", u"/home/me/libmine.so"},  // the user's wins
      {u"CLSID\\{A}\\InprocServer32", u"ThreadingModel", u"Free"},   // only the machine's has it
      {u"machine.only", u"", u"machine"},
      {u"User.Only", u"", u"user"},
      {u"Nowhere", u"", u"<missing>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(qxtest::Narrow(c.path + u"@" + c.name));
    EXPECT_EQ(ReadStringOrEmpty(HKEY_CLASSES_ROOT, c.path, c.name), c.expected);
  }
  EXPECT_TRUE(qx::registry::KeyExists(HKEY_CLASSES_ROOT, u"Machine.Only"));

  // Enumeration lists each name once, the user's spelling first, in order.
  std::vector<std::u16string> names;
  ASSERT_EQ(qx::registry::ListSubkeys(HKEY_CLASSES_ROOT, u"", names), ERROR_SUCCESS);
  EXPECT_EQ(names, (std::vector<std::u16string>{u"CLSID", u"Machine.Only", u"User.Only"}));
  std::vector<qx::registry::NamedValue> values;
  ASSERT_EQ(qx::registry::ListValues(HKEY_CLASSES_ROOT, u"CLSID\\{A}\\InprocServer32", values),
            ERROR_SUCCESS);
  ASSERT_EQ(values.size(), 2u);
  EXPECT_EQ(qx::registry::StringFromValueData(values[0].data), u"/home/me/libmine.so");
  EXPECT_EQ(values[1].name, u"ThreadingModel");
}

TEST(MachineRegistry, WritesThroughTheClassesViewChangeOnlyTheUsersClasses) {
  WriteClass(HKEY_LOCAL_MACHINE, u"Shared", u"", u"machine");
  const regtest::Listing machineBefore = regtest::Dump(HKEY_LOCAL_MACHINE);

  ASSERT_EQ(WriteString(HKEY_CLASSES_ROOT, u"Shared", u"", u"user"), ERROR_SUCCESS);
  EXPECT_EQ(ReadStringOrEmpty(HKEY_CURRENT_USER, u"Software\\Classes\\Shared"), u"user");
  // Deleting the user's copy uncovers the machine's; the machine's cannot be
  // deleted through the view.
  EXPECT_EQ(qx::registry::DeleteTree(HKEY_CLASSES_ROOT, u"Shared"), ERROR_SUCCESS);
  EXPECT_EQ(ReadStringOrEmpty(HKEY_CLASSES_ROOT, u"Shared"), u"machine");
  EXPECT_EQ(RegDeleteTreeW(HKEY_CLASSES_ROOT, u"Shared"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(regtest::Dump(HKEY_LOCAL_MACHINE), machineBefore);
}

TEST(MachineRegistry, DamagedMachineDatabaseLeavesUserClassesWorkingAndIsNamed) {
  WriteClass(HKEY_CURRENT_USER, u"User.Thing\\CLSID", u"", u"{B}");
  regtest::WriteFile(MachinePath(), std::string(4096, 'x'));

  EXPECT_EQ(ReadStringOrEmpty(HKEY_CLASSES_ROOT, u"User.Thing\\CLSID"), u"{B}");
  qxtest::ClearErrorRecord();
  std::u16string text;
  EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, u"Machine.Thing\\CLSID", u"", text), ERROR_BADDB);
  const qxtest::ErrorRecord record = qxtest::TakeErrorRecord();
  ASSERT_TRUE(record.present);
  EXPECT_NE(Description(record).find(MachinePath()), std::string::npos) << Description(record);
  EXPECT_NE(Description(record).find("not a database"), std::string::npos) << Description(record);
  // The damaged file is left as it was.
  EXPECT_EQ(regtest::ReadFile(MachinePath()), std::string(4096, 'x'));
}

TEST(MachineRegistry, MissingMachineDatabaseReadsAsEmptyAndIsNotCreated) {
  WriteClass(HKEY_CURRENT_USER, u"User.Thing", u"", u"here");
  EXPECT_EQ(ReadStringOrEmpty(HKEY_CLASSES_ROOT, u"User.Thing"), u"here");
  EXPECT_EQ(ReadStringOrEmpty(HKEY_LOCAL_MACHINE, u"Software\\Anything"), u"<missing>");
  EXPECT_FALSE(std::filesystem::exists(MachinePath()));
}

// A user database written before the machine database existed kept the
// classes under their own root; they must still be found, and then live in
// the user's Software\Classes.
TEST(MachineRegistry, ClassesOfAnOlderUserDatabaseAreKept) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(UserPath().c_str(), &db), SQLITE_OK);
  const char* setup =
      "CREATE TABLE reg_keys(root INTEGER NOT NULL, path TEXT NOT NULL, parent TEXT NOT NULL,"
      " name TEXT NOT NULL, PRIMARY KEY(root, path)) WITHOUT ROWID;"
      "CREATE INDEX reg_keys_by_parent ON reg_keys(root, parent, path);"
      "CREATE TABLE reg_values(root INTEGER NOT NULL, key TEXT NOT NULL, folded TEXT NOT NULL,"
      " name TEXT NOT NULL, type INTEGER NOT NULL, data BLOB NOT NULL,"
      " PRIMARY KEY(root, key, folded)) WITHOUT ROWID;"
      "INSERT INTO reg_keys VALUES(0, 'old.thing', '', 'Old.Thing');"
      "INSERT INTO reg_keys VALUES(0, 'old.thing\\clsid', 'old.thing', 'CLSID');"
      "INSERT INTO reg_values VALUES(0, 'old.thing\\clsid', '', '', 1, X'7B0043007D000000');"
      "INSERT INTO reg_keys VALUES(1, 'software', '', 'Software');"
      "INSERT INTO reg_values VALUES(1, 'software', 'kept', 'Kept', 4, X'07000000');";
  ASSERT_EQ(sqlite3_exec(db, setup, nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);

  EXPECT_EQ(ReadStringOrEmpty(HKEY_CLASSES_ROOT, u"Old.Thing\\CLSID"), u"{C}");
  EXPECT_EQ(ReadStringOrEmpty(HKEY_CURRENT_USER, u"Software\\Classes\\Old.Thing\\CLSID"), u"{C}");
  std::vector<std::u16string> names;
  ASSERT_EQ(qx::registry::ListSubkeys(HKEY_CURRENT_USER, u"Software\\Classes", names),
            ERROR_SUCCESS);
  EXPECT_EQ(names, std::vector<std::u16string>{u"Old.Thing"});
  DWORD kept = 0;
  EXPECT_EQ(qx::registry::ReadDword(HKEY_CURRENT_USER, u"Software", u"Kept", kept), ERROR_SUCCESS);
  EXPECT_EQ(kept, 7u);
}

// Redirected to the machine's Software\Classes, a registration script
// writes for every user; undoing the redirection restores the merged view.
TEST(MachineRegistry, OverriddenClassesRootRegistersIntoTheMachineDatabase) {
  HKEY classes = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Classes", 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &classes, nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(RegOverridePredefKey(HKEY_CLASSES_ROOT, classes), ERROR_SUCCESS);
  EXPECT_EQ(qx::registry::UpdateRegistryFromScript(u"HKCR { Sys.Thing = s 'everyone' }", true, {}),
            S_OK);
  ASSERT_EQ(RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr), ERROR_SUCCESS);
  RegCloseKey(classes);

  EXPECT_EQ(ReadStringOrEmpty(HKEY_LOCAL_MACHINE, u"Software\\Classes\\Sys.Thing"), u"everyone");
  EXPECT_FALSE(qx::registry::KeyExists(HKEY_CURRENT_USER, u"Software\\Classes\\Sys.Thing"));
  EXPECT_EQ(ReadStringOrEmpty(HKEY_CLASSES_ROOT, u"Sys.Thing"), u"everyone");
  EXPECT_EQ(RegOverridePredefKey(reinterpret_cast<HKEY>(1), nullptr), ERROR_INVALID_HANDLE);
}

TEST(RegistryThreadTransaction, CommitsOrRollsBackEverythingTogether) {
  for (const bool commit : {false, true}) {
    SCOPED_TRACE(commit ? "commit" : "rollback");
    ASSERT_EQ(QxRegBeginTransaction(), ERROR_SUCCESS);
    EXPECT_EQ(QxRegBeginTransaction(), ERROR_INVALID_FUNCTION);
    EXPECT_EQ(WriteString(HKEY_CLASSES_ROOT, u"Tx.One", u"", u"1"), ERROR_SUCCESS);
    EXPECT_EQ(WriteString(HKEY_LOCAL_MACHINE, u"Software\\Tx", u"", u"2"), ERROR_SUCCESS);
    // A failing call inside undoes only itself.
    EXPECT_EQ(qx::registry::DeleteTree(HKEY_CLASSES_ROOT, u"Tx.Missing"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(ReadStringOrEmpty(HKEY_CLASSES_ROOT, u"Tx.One"), u"1");
    EXPECT_EQ(commit ? QxRegCommitTransaction() : QxRegRollbackTransaction(), ERROR_SUCCESS);
    EXPECT_EQ(ReadStringOrEmpty(HKEY_CLASSES_ROOT, u"Tx.One"), commit ? u"1" : u"<missing>");
    EXPECT_EQ(ReadStringOrEmpty(HKEY_LOCAL_MACHINE, u"Software\\Tx"), commit ? u"2" : u"<missing>");
  }
  EXPECT_EQ(QxRegCommitTransaction(), ERROR_INVALID_FUNCTION);
  EXPECT_EQ(QxRegRollbackTransaction(), ERROR_INVALID_FUNCTION);
}

TEST(RegistryThreadTransaction, OtherThreadsWaitUntilItEnds) {
  ASSERT_EQ(QxRegBeginTransaction(), ERROR_SUCCESS);
  ASSERT_EQ(WriteString(HKEY_CURRENT_USER, u"Software\\Tx", u"", u"inside"), ERROR_SUCCESS);
  std::atomic<bool> ended{false};
  bool readAfterTheEnd = false;
  std::thread reader([&] {
    ReadStringOrEmpty(HKEY_CURRENT_USER, u"Software\\Tx");
    readAfterTheEnd = ended.load();
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  ended = true;
  ASSERT_EQ(QxRegCommitTransaction(), ERROR_SUCCESS);
  reader.join();
  EXPECT_TRUE(readAfterTheEnd);
}

}  // namespace

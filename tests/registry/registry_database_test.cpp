// The registry database under stress: damaged and unwritable files, and
// writers in several processes and threads at once.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/registry/registrar.h"
#include "tests/registry/registry_test_util.h"
#include "tests/support/child_processes.h"

namespace {

std::string RegistryPath() { return std::getenv("QXNET_REGISTRY"); }

std::string Garbage(size_t size) {
  std::string bytes(size, '\0');
  uint32_t state = 12345;
  for (char& c : bytes) {
    state = state * 1103515245u + 12345u;
    c = static_cast<char>(state >> 16);
  }
  return bytes;
}

// Every kind of call fails with a code on a damaged file and leaves it as it was.
void ExpectEveryCallFailsAndFileUnchanged(const std::string& path) {
  const std::string before = regtest::ReadFile(path);
  HKEY key = nullptr;
  EXPECT_EQ(
      RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\X", 0, nullptr, 0, 0, nullptr, &key, nullptr),
      ERROR_BADDB);
  EXPECT_EQ(key, nullptr);
  EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software", 0, 0, &key), ERROR_BADDB);
  const DWORD one = 1;
  EXPECT_EQ(
      RegSetValueExW(HKEY_CURRENT_USER, u"v", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), 4),
      ERROR_BADDB);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExW(HKEY_CURRENT_USER, u"v", nullptr, nullptr, nullptr, &size),
            ERROR_BADDB);
  EXPECT_EQ(RegDeleteTreeW(HKEY_CURRENT_USER, u"Software"), ERROR_BADDB);
  char16_t name[32];
  DWORD count = 32;
  EXPECT_EQ(RegEnumKeyExW(HKEY_CLASSES_ROOT, 0, name, &count, nullptr, nullptr, nullptr, nullptr),
            ERROR_BADDB);
  EXPECT_EQ(qx::registry::UpdateRegistryFromScript(u"HKCR { Key = s 'v' }", true, {}),
            HRESULT_FROM_WIN32(ERROR_BADDB));
  IUnknown* object = reinterpret_cast<IUnknown*>(1);
  EXPECT_TRUE(FAILED(CoCreateInstance(GUID_NULL, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                      reinterpret_cast<void**>(&object))));
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(regtest::ReadFile(path), before);
}

TEST(RegistryDatabase, DamagedFileFailsWithACodeAndIsLeftUnchanged) {
  const std::string path = RegistryPath();
  regtest::WriteFile(path, Garbage(8192));
  ExpectEveryCallFailsAndFileUnchanged(path);
  regtest::WriteFile(path, "definitely not a database file\n");
  ExpectEveryCallFailsAndFileUnchanged(path);
}

TEST(RegistryDatabase, RepairedOrRemovedFileIsUsedAfresh) {
  const std::string path = RegistryPath();
  regtest::WriteFile(path, Garbage(4096));
  DWORD value = 0;
  EXPECT_EQ(qx::registry::ReadDword(HKEY_CURRENT_USER, u"K", u"v", value), ERROR_BADDB);
  std::remove(path.c_str());
  ASSERT_EQ(qx::registry::WriteDword(HKEY_CURRENT_USER, u"K", u"v", 2), ERROR_SUCCESS);
  EXPECT_EQ(qx::registry::ReadDword(HKEY_CURRENT_USER, u"K", u"v", value), ERROR_SUCCESS);
  EXPECT_EQ(value, 2u);

  // Removed while this process has it open: later writes land in the new file.
  for (const char* suffix : {"", "-wal", "-shm"}) std::remove((path + suffix).c_str());
  EXPECT_FALSE(qx::registry::KeyExists(HKEY_CURRENT_USER, u"K"));
  ASSERT_EQ(qx::registry::WriteDword(HKEY_CURRENT_USER, u"K", u"w", 3), ERROR_SUCCESS);
  // Only the new value: a DWORD's four bytes, as two UTF-16 units.
  const std::u16string onlyW(u"w=4:\x0003\0\n", 7);
  EXPECT_EQ(regtest::Dump(HKEY_CURRENT_USER, u"K"), (regtest::Listing{{u"K", onlyW}}));
  EXPECT_TRUE(std::filesystem::exists(path));
}

TEST(RegistryDatabase, UnreachableLocationFailsWithACode) {
  // A parent "folder" that is a regular file cannot hold the database.
  const std::string blocker = RegistryPath() + ".file";
  regtest::WriteFile(blocker, "x");
  setenv("QXNET_REGISTRY", (blocker + "/registry.db").c_str(), 1);
  HKEY key = nullptr;
  const LSTATUS status =
      RegCreateKeyExW(HKEY_CURRENT_USER, u"K", 0, nullptr, 0, 0, nullptr, &key, nullptr);
  EXPECT_NE(status, ERROR_SUCCESS);
  EXPECT_EQ(key, nullptr);
  EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"K", 0, 0, &key), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(regtest::ReadFile(blocker), "x");
}

TEST(RegistryDatabase, ReadOnlyFileRefusesWritesAndStillReads) {
  if (geteuid() == 0) GTEST_SKIP() << "file permissions do not bind the superuser";
  const std::string path = RegistryPath();
  ASSERT_EQ(qx::registry::WriteDword(HKEY_CURRENT_USER, u"K", u"v", 5), ERROR_SUCCESS);
  // Start from a closed, checkpointed file: another path, then back.
  setenv("QXNET_REGISTRY", (path + ".other").c_str(), 1);
  ASSERT_EQ(qx::registry::WriteDword(HKEY_CURRENT_USER, u"K", u"v", 1), ERROR_SUCCESS);
  setenv("QXNET_REGISTRY", path.c_str(), 1);
  ASSERT_EQ(chmod(path.c_str(), 0444), 0);
  const std::string before = regtest::ReadFile(path);
  EXPECT_NE(qx::registry::WriteDword(HKEY_CURRENT_USER, u"K", u"v", 6), ERROR_SUCCESS);
  DWORD value = 0;
  EXPECT_EQ(qx::registry::ReadDword(HKEY_CURRENT_USER, u"K", u"v", value), ERROR_SUCCESS);
  EXPECT_EQ(value, 5u);
  EXPECT_EQ(regtest::ReadFile(path), before);
}

// Writes `count` values, each in its own call, under HKCU\Concurrent.
bool WriteMany(const std::u16string& prefix, int count) {
  for (int i = 0; i < count; ++i) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, u"Concurrent", 0, nullptr, 0, 0, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
      return false;
    const DWORD value = static_cast<DWORD>(i);
    const std::u16string name = prefix + qx::Utf8ToUtf16(std::to_string(i));
    const LSTATUS status =
        RegSetValueExW(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) return false;
  }
  return true;
}

size_t ValueCount() {
  std::vector<qx::registry::NamedValue> values;
  EXPECT_EQ(qx::registry::ListValues(HKEY_CURRENT_USER, u"Concurrent", values), ERROR_SUCCESS);
  return values.size();
}

TEST(RegistryDatabase, TwoProcessesWritingAtOnceLoseNothing) {
  // The parent uses the database first, so the children inherit its connection.
  ASSERT_TRUE(WriteMany(u"parent", 1));
  ASSERT_TRUE(qxtest::InChildProcesses(
      2, [](int child) { return WriteMany(child == 0 ? u"first" : u"second", 500); }));
  EXPECT_EQ(ValueCount(), 1001u);
}

TEST(RegistryDatabase, ThreadsOfOneProcessShareTheStoreSafely) {
  std::vector<std::thread> threads;
  std::atomic<int> failures{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &failures] {
      if (!WriteMany(u"thread" + qx::Utf8ToUtf16(std::to_string(t)) + u"-", 100)) ++failures;
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(ValueCount(), 400u);
}

}  // namespace

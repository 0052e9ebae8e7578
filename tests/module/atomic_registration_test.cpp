// Registration of the whole module is one registry transaction: a process
// killed part-way through leaves the old or the new registration, never a
// part of one, and processes that register and unregister at the same time
// all succeed.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <map>
#include <string>

#include "server/module/object_map.h"
#include "tests/support/child_processes.h"
#include "tests/support/com_test.h"
#include "tests/support/registry_dump.h"

namespace {

using Snapshot = std::map<std::u16string, std::u16string>;

// Everything registration writes: the class, type library and interface
// keys and both ProgIDs of every class.
Snapshot Registration() {
  Snapshot all;
  for (const char16_t* root : {u"CLSID", u"TypeLib", u"Interface"})
    all.merge(qxtest::DumpRegistry(HKEY_CLASSES_ROOT, root));
  for (const qx::ClassEntry& entry : qx::ClassEntries()) {
    all.merge(qxtest::DumpRegistry(HKEY_CLASSES_ROOT, entry.progId));
    all.merge(qxtest::DumpRegistry(HKEY_CLASSES_ROOT, entry.versionIndependentProgId));
  }
  return all;
}

class AtomicRegistration : public qxtest::ComTest {
 protected:
  // Leaves the process registered, as the fixture expects of every test.
  void TearDown() override {
    EXPECT_EQ(DllRegisterServer(), S_OK);
    qxtest::ComTest::TearDown();
  }
};

TEST_F(AtomicRegistration, ProcessKilledMidRegistrationLeavesAllOrNothing) {
  ASSERT_EQ(DllRegisterServer(), S_OK);
  const Snapshot registered = Registration();
  ASSERT_EQ(DllUnregisterServer(), S_OK);
  const Snapshot unregistered = Registration();
  ASSERT_NE(registered, unregistered);

  // A child registers and unregisters without pause until it is killed at a
  // different moment each round.
  for (int round = 0; round < 12; ++round) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      for (;;) {
        DllRegisterServer();
        DllUnregisterServer();
      }
    }
    usleep(static_cast<useconds_t>(3000 + round * 4700));
    kill(child, SIGKILL);
    EXPECT_EQ(qxtest::WaitForExitCode(child), 128 + SIGKILL);
    const Snapshot now = Registration();
    EXPECT_TRUE(now == registered || now == unregistered)
        << "round " << round << ": " << now.size() << " keys, a whole registration has "
        << registered.size();
  }
}

TEST_F(AtomicRegistration, ConcurrentRegisterAndUnregisterFromTwoProcessesAllSucceed) {
  constexpr int kRounds = 15;
  EXPECT_TRUE(qxtest::InChildProcesses(2, [](int) {
    for (int i = 0; i < kRounds; ++i) {
      if (FAILED(DllRegisterServer()) || FAILED(DllUnregisterServer())) return false;
    }
    return true;
  })) << "failed calls";
  ASSERT_EQ(DllRegisterServer(), S_OK);
  const Snapshot registered = Registration();
  ASSERT_EQ(DllRegisterServer(), S_OK);
  EXPECT_EQ(Registration(), registered);
}

}  // namespace

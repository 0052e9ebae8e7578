// Remembered class lookups: another process's registration changes are seen
// by the next lookup in this one.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <string>

#include "platform/registry/registry_store.h"
#include "qxnet/text.h"
#include "tests/registry/module/test_inproc_module.h"
#include "tests/support/child_processes.h"

namespace {

const std::u16string kProgIdKey = u"QxTest.Cached\\CLSID";
const std::u16string kServerKey = u"CLSID\\{5A7C0E21-3B9D-4F61-8C2E-0D4B6A1F9E37}\\InprocServer32";
const std::u16string kOtherClass = u"{00000000-0000-0000-0000-0000000000AB}";

// Runs `change` in a child process and waits for it. Called before this
// process has started any thread.
void InAnotherProcess(const std::function<bool()>& change) {
  ASSERT_TRUE(qxtest::InChildProcesses(1, [&](int) { return change(); }));
}

bool Register(HKEY root, const std::u16string& prefix, const std::u16string& modulePath) {
  return qx::registry::WriteString(root, prefix + kServerKey, u"", modulePath) == ERROR_SUCCESS &&
         qx::registry::WriteString(root, prefix + kProgIdKey, u"",
                                   u"{5A7C0E21-3B9D-4F61-8C2E-0D4B6A1F9E37}") == ERROR_SUCCESS;
}

HRESULT CreateThing() {
  IQxTestThing* thing = nullptr;
  const HRESULT hr = CoCreateInstance(CLSID_QxTestThing, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IQxTestThing, reinterpret_cast<void**>(&thing));
  if (thing != nullptr) thing->Release();
  return hr;
}

HRESULT ClassOfProgId(CLSID& clsid) { return CLSIDFromProgID(u"QxTest.Cached", &clsid); }

TEST(ClassCache, LookupsSeeRegistrationChangesOfAnotherProcess) {
  const std::u16string module = qx::Utf8ToUtf16(QXTEST_INPROC_MODULE);
  ASSERT_TRUE(Register(HKEY_CLASSES_ROOT, u"", module));
  CLSID clsid;
  // Looked up twice, so the second answer comes from what was remembered.
  for (int i = 0; i < 2; ++i) {
    ASSERT_EQ(CreateThing(), S_OK);
    ASSERT_EQ(ClassOfProgId(clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_QxTestThing);
  }

  // Unregistered elsewhere.
  InAnotherProcess([] {
    return qx::registry::DeleteTree(HKEY_CLASSES_ROOT, u"CLSID") == ERROR_SUCCESS &&
           qx::registry::DeleteTree(HKEY_CLASSES_ROOT, u"QxTest.Cached") == ERROR_SUCCESS;
  });
  EXPECT_EQ(CreateThing(), REGDB_E_CLASSNOTREG);
  EXPECT_EQ(ClassOfProgId(clsid), CO_E_CLASSSTRING);

  // Registered again elsewhere, in the machine's database this time (which
  // did not exist until now), with a module that is not there.
  InAnotherProcess([] {
    return Register(HKEY_LOCAL_MACHINE, u"Software\\Classes\\", u"/nonexistent/module.so");
  });
  EXPECT_EQ(CreateThing(), CO_E_DLLNOTFOUND);
  ASSERT_EQ(ClassOfProgId(clsid), S_OK);
  EXPECT_EQ(clsid, CLSID_QxTestThing);

  // Moved to the real module, and the ProgID to another class.
  InAnotherProcess([&module] {
    return Register(HKEY_LOCAL_MACHINE, u"Software\\Classes\\", module) &&
           qx::registry::WriteString(HKEY_LOCAL_MACHINE, u"Software\\Classes\\" + kProgIdKey, u"",
                                     kOtherClass) == ERROR_SUCCESS;
  });
  EXPECT_EQ(CreateThing(), S_OK);
  ASSERT_EQ(ClassOfProgId(clsid), S_OK);
  EXPECT_EQ(clsid.Data4[7], 0xAB);

  // Nothing remembered keeps the module: it unloads once its objects are gone.
  CoFreeUnusedLibraries();
  const char* unloads = std::getenv(kModuleUnloadsVariable);
  EXPECT_STREQ(unloads, "1");
}

}  // namespace

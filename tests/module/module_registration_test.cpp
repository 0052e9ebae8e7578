// Registration of the module: what DllRegisterServer writes and what
// DllUnregisterServer leaves behind. That registering again changes nothing
// is the registrar's and the type library's rule, tested with each.
#include <dlfcn.h>

#include <gtest/gtest.h>

#include <string>

#include "qxnet/text.h"
#include "server/module/object_map.h"
#include "tests/support/com_test.h"
#include "tests/support/registry_dump.h"

namespace {

using qxtest::GuidText;

// The file this process loaded the module from (the registered path).
std::string LoadedModulePath() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&DllRegisterServer), &info) == 0 || !info.dli_fname) return {};
  return info.dli_fname;
}

class ModuleRegistration : public qxtest::ComTest {};

TEST_F(ModuleRegistration, WritesProgIdsClassKeysAndThreadingModels) {
  for (const qx::ClassEntry& entry : qx::ClassEntries()) {
    const std::u16string clsid = GuidText(entry.clsid), key = u"CLSID\\" + clsid;
    SCOPED_TRACE(qxtest::Narrow(entry.progId));
    const struct {
      std::u16string path, name, expected;
    } written[] = {
        {entry.progId, u"", entry.description},
        {entry.progId + u"\\CLSID", u"", clsid},
        {entry.versionIndependentProgId + u"\\CurVer", u"", entry.progId},
        {key + u"\\ProgID", u"", entry.progId},
        {key + u"\\VersionIndependentProgID", u"", entry.versionIndependentProgId},
        {key + u"\\TypeLib", u"", GuidText(LIBID_QXNETLib)},
        {key + u"\\InprocServer32", u"", qx::Utf8ToUtf16(LoadedModulePath())},
        {key + u"\\InprocServer32", u"ThreadingModel",
         entry.clsid == CLSID_QXDetectNet ? u"Free" : u"Apartment"},
    };
    for (const auto& w : written)
      EXPECT_EQ(qxtest::ReadRegistryString(HKEY_CLASSES_ROOT, w.path, w.name), w.expected)
          << qxtest::Narrow(w.path);
    EXPECT_TRUE(qxtest::RegistryKeyExists(HKEY_CLASSES_ROOT, key + u"\\Programmable"));
  }
}

TEST_F(ModuleRegistration, UnregisteringRemovesClassKeysAndKeepsTheClsidRoot) {
  // A foreign class under CLSID must survive our unregistration.
  qxtest::CreateRegistryKey(HKEY_CLASSES_ROOT, u"CLSID\\{00000000-1111-2222-3333-444444444444}");

  ASSERT_EQ(DllUnregisterServer(), S_OK);
  EXPECT_TRUE(qxtest::RegistryKeyExists(HKEY_CLASSES_ROOT, u"CLSID"));
  EXPECT_TRUE(qxtest::RegistryKeyExists(HKEY_CLASSES_ROOT,
                                        u"CLSID\\{00000000-1111-2222-3333-444444444444}"));
  for (const qx::ClassEntry& entry : qx::ClassEntries()) {
    EXPECT_FALSE(qxtest::RegistryKeyExists(HKEY_CLASSES_ROOT, u"CLSID\\" + GuidText(entry.clsid)));
    EXPECT_FALSE(qxtest::RegistryKeyExists(HKEY_CLASSES_ROOT, entry.progId));
    EXPECT_FALSE(qxtest::RegistryKeyExists(HKEY_CLASSES_ROOT, entry.versionIndependentProgId));
  }
  EXPECT_FALSE(
      qxtest::RegistryKeyExists(HKEY_CLASSES_ROOT, u"TypeLib\\" + GuidText(LIBID_QXNETLib)));
  CLSID clsid{};
  EXPECT_TRUE(FAILED(CLSIDFromProgID(u"QXNet.QXNet", &clsid)));
  ASSERT_EQ(DllRegisterServer(), S_OK);  // leave the process as the fixture expects
}

TEST_F(ModuleRegistration, UnknownClassIsNotAvailable) {
  const GUID unknown = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
  void* object = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(DllGetClassObject(unknown, IID_IClassFactory, &object), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(object, nullptr);
}

TEST_F(ModuleRegistration, ClassFactoryIsCachedAndLockServerHoldsTheModule) {
  qx::ComPtr<IClassFactory> first, second;
  ASSERT_EQ(DllGetClassObject(CLSID_UpdateItem, IID_IClassFactory, first.PutVoid()), S_OK);
  ASSERT_EQ(DllGetClassObject(CLSID_UpdateItem, IID_IClassFactory, second.PutVoid()), S_OK);
  EXPECT_EQ(first.Get(), second.Get());
  EXPECT_EQ(DllCanUnloadNow(), S_OK);  // a held factory alone does not pin the module
  first->LockServer(TRUE);
  EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
  first->LockServer(FALSE);
  EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

}  // namespace

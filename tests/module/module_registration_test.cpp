// Registration of the module: what DllRegisterServer writes and what
// DllUnregisterServer leaves behind. That registering again changes nothing
// is the registrar's and the type library's rule, tested with each.
#include <dlfcn.h>

#include <gtest/gtest.h>

#include <string>

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
    const std::u16string clsid = GuidText(entry.clsid);
    SCOPED_TRACE(qxtest::Narrow(entry.progId));
    EXPECT_EQ(qxtest::ReadRegistryString(HKEY_CLASSES_ROOT, entry.progId, u""), entry.description);
    EXPECT_EQ(qxtest::ReadRegistryString(HKEY_CLASSES_ROOT, entry.progId + u"\\CLSID", u""), clsid);
    EXPECT_EQ(qxtest::ReadRegistryString(HKEY_CLASSES_ROOT,
                                         entry.versionIndependentProgId + u"\\CurVer", u""),
              entry.progId);
    const std::u16string key = u"CLSID\\" + clsid;
    EXPECT_EQ(qxtest::ReadRegistryString(HKEY_CLASSES_ROOT, key + u"\\ProgID", u""), entry.progId);
    EXPECT_EQ(
        qxtest::ReadRegistryString(HKEY_CLASSES_ROOT, key + u"\\VersionIndependentProgID", u""),
        entry.versionIndependentProgId);
    EXPECT_TRUE(qxtest::RegistryKeyExists(HKEY_CLASSES_ROOT, key + u"\\Programmable"));
    EXPECT_EQ(qxtest::ReadRegistryString(HKEY_CLASSES_ROOT, key + u"\\TypeLib", u""),
              GuidText(LIBID_QXNETLib));
    auto module = qxtest::ReadRegistryString(HKEY_CLASSES_ROOT, key + u"\\InprocServer32", u"");
    ASSERT_TRUE(module.has_value());
    EXPECT_EQ(qxtest::Narrow(*module), LoadedModulePath());
    const bool free = entry.clsid == CLSID_QXDetectNet;
    EXPECT_EQ(
        qxtest::ReadRegistryString(HKEY_CLASSES_ROOT, key + u"\\InprocServer32", u"ThreadingModel"),
        free ? u"Free" : u"Apartment");
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
  IClassFactory* first = nullptr;
  IClassFactory* second = nullptr;
  ASSERT_EQ(
      DllGetClassObject(CLSID_UpdateItem, IID_IClassFactory, reinterpret_cast<void**>(&first)),
      S_OK);
  ASSERT_EQ(
      DllGetClassObject(CLSID_UpdateItem, IID_IClassFactory, reinterpret_cast<void**>(&second)),
      S_OK);
  EXPECT_EQ(first, second);
  EXPECT_EQ(DllCanUnloadNow(), S_OK);  // a held factory alone does not pin the module
  first->LockServer(TRUE);
  EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
  first->LockServer(FALSE);
  EXPECT_EQ(DllCanUnloadNow(), S_OK);
  first->Release();
  second->Release();
}

}  // namespace

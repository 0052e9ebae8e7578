// Class lookup by ProgID and object creation through in-process modules.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <utility>

#include "platform/registry/registrar.h"
#include "qxnet/com_ptr.h"
#include "tests/registry/module/test_inproc_module.h"
#include "tests/registry/registry_test_util.h"

namespace {

const char16_t kThingScript[] =
    uR"(HKCR
{
	QxTest.Thing.1 = s 'Thing' { CLSID = s '{5A7C0E21-3B9D-4F61-8C2E-0D4B6A1F9E37}' }
	QxTest.Thing = s 'Thing'
	{
		CLSID = s '{5A7C0E21-3B9D-4F61-8C2E-0D4B6A1F9E37}'
		CurVer = s 'QxTest.Thing.1'
	}
	NoRemove CLSID
	{
		ForceRemove {5A7C0E21-3B9D-4F61-8C2E-0D4B6A1F9E37} = s 'Thing'
		{
			ProgID = s 'QxTest.Thing.1'
			InprocServer32 = s '%MODULE%' { val ThreadingModel = s 'Both' }
		}
	}
}
)";

const std::u16string kThingKey = u"CLSID\\{5A7C0E21-3B9D-4F61-8C2E-0D4B6A1F9E37}";

long Counter(const char* variable) {
  const char* value = std::getenv(variable);
  return value ? std::atol(value) : 0;
}

HRESULT RegisterThing(const std::u16string& modulePath) {
  return qx::registry::UpdateRegistryFromScript(kThingScript, true, {{u"MODULE", modulePath}});
}

std::u16string ModulePath() { return qx::Utf8ToUtf16(QXTEST_INPROC_MODULE); }

HRESULT CreateThing(IQxTestThing** thing) {
  return CoCreateInstance(CLSID_QxTestThing, nullptr, CLSCTX_INPROC_SERVER, IID_IQxTestThing,
                          reinterpret_cast<void**>(thing));
}

TEST(ClassRegistry, ProgIdLookupFollowsCurVer) {
  auto set = [](std::u16string_view path, std::u16string_view text) {
    ASSERT_EQ(qx::registry::WriteString(HKEY_CLASSES_ROOT, path, u"", text), ERROR_SUCCESS);
  };
  set(u"App.Doc.1\\CLSID", u"{00000000-0000-0000-0000-000000000001}");
  set(u"App.Doc.2\\CLSID", u"{00000000-0000-0000-0000-000000000002}");
  set(u"App.Doc\\CLSID", u"{00000000-0000-0000-0000-000000000001}");
  set(u"App.Doc\\CurVer", u"App.Doc.2");
  // A version-independent ProgID without its own CLSID still resolves.
  set(u"App.Only\\CurVer", u"App.Doc.2");
  // A CurVer cycle or a dangling CurVer ends, falling back to the own CLSID.
  set(u"Loop.A\\CurVer", u"Loop.B");
  set(u"Loop.B\\CurVer", u"Loop.A");
  set(u"App.Dangling\\CLSID", u"{00000000-0000-0000-0000-000000000003}");
  set(u"App.Dangling\\CurVer", u"Not.There");
  set(u"App.Broken\\CLSID", u"not a guid");
  // The last byte of the class found, or -1 when the lookup fails.
  CLSID clsid;
  auto found = [&clsid](const char16_t* progId) {
    const HRESULT hr = CLSIDFromProgID(progId, &clsid);
    EXPECT_TRUE(hr == S_OK || hr == CO_E_CLASSSTRING) << std::hex << hr;
    return hr == S_OK ? clsid.Data4[7] : -1;
  };
  const std::pair<const char16_t*, int> cases[] = {
      {u"app.doc", 2},        {u"App.Doc.1", 1},    {u"App.Only", 2},
      {u"Loop.A", -1},        {u"App.Dangling", 3}, {u"App.Broken", -1},
      {u"No.Such.Thing", -1}, {u"CLSID\\..", -1},   {u"", -1}};
  for (const auto& [progId, last] : cases)
    EXPECT_EQ(found(progId), last) << qx::Utf16ToUtf8(progId);
  EXPECT_EQ(CLSIDFromProgID(nullptr, &clsid), E_INVALIDARG);
  EXPECT_EQ(CLSIDFromProgID(u"App.Doc", nullptr), E_INVALIDARG);

  LPOLESTR progId = reinterpret_cast<LPOLESTR>(1);
  EXPECT_EQ(ProgIDFromCLSID(clsid, &progId), REGDB_E_CLASSNOTREG);
  EXPECT_EQ(progId, nullptr);
  EXPECT_EQ(ProgIDFromCLSID(clsid, nullptr), E_INVALIDARG);
}

TEST(ClassRegistry, ModuleIsLoadedOnceAndUnloadedOnlyWhenItAgrees) {
  ASSERT_EQ(RegisterThing(ModulePath()), S_OK);
  const long loads = Counter(kModuleLoadsVariable);

  IQxTestThing *first = nullptr, *second = nullptr;
  ASSERT_EQ(CreateThing(&first), S_OK);
  ASSERT_EQ(CreateThing(&second), S_OK);
  EXPECT_NE(first, second);
  EXPECT_EQ(first->Answer(), 42);
  EXPECT_EQ(Counter(kModuleLoadsVariable), loads + 1);
  EXPECT_EQ(Counter(kModuleObjectsVariable), 2);

  // Objects alive: the module stays.
  first->Release();
  CoFreeUnusedLibraries();
  EXPECT_EQ(Counter(kModuleUnloadsVariable), 0);
  EXPECT_EQ(second->Answer(), 42);
  second->Release();

  // A held class factory keeps it too.
  qx::ComPtr<IClassFactory> factory;
  ASSERT_EQ(CoGetClassObject(CLSID_QxTestThing, CLSCTX_ALL, nullptr, IID_IClassFactory,
                             factory.PutVoid()),
            S_OK);
  CoFreeUnusedLibraries();
  EXPECT_EQ(Counter(kModuleUnloadsVariable), 0);
  factory = nullptr;

  CoFreeUnusedLibraries();
  EXPECT_EQ(Counter(kModuleUnloadsVariable), 1);

  // The next creation loads it again.
  ASSERT_EQ(CreateThing(&first), S_OK);
  EXPECT_EQ(Counter(kModuleLoadsVariable), loads + 2);
  first->Release();
  CoFreeUnusedLibraries();
}

TEST(ClassRegistry, CreationFailuresAnswerCodesAndNullPointers) {
  IQxTestThing* thing = reinterpret_cast<IQxTestThing*>(1);
  EXPECT_EQ(CreateThing(&thing), REGDB_E_CLASSNOTREG);
  EXPECT_EQ(thing, nullptr);
  EXPECT_EQ(
      CoCreateInstance(CLSID_QxTestThing, nullptr, CLSCTX_INPROC_SERVER, IID_IQxTestThing, nullptr),
      E_POINTER);

  ASSERT_EQ(RegisterThing(ModulePath()), S_OK);
  // Only in-process servers exist.
  thing = reinterpret_cast<IQxTestThing*>(1);
  EXPECT_EQ(CoCreateInstance(CLSID_QxTestThing, nullptr, CLSCTX_LOCAL_SERVER, IID_IQxTestThing,
                             reinterpret_cast<void**>(&thing)),
            REGDB_E_CLASSNOTREG);
  EXPECT_EQ(thing, nullptr);
  // The object refuses an interface it does not have.
  IDispatch* dispatch = reinterpret_cast<IDispatch*>(1);
  EXPECT_EQ(CoCreateInstance(CLSID_QxTestThing, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                             reinterpret_cast<void**>(&dispatch)),
            E_NOINTERFACE);
  EXPECT_EQ(dispatch, nullptr);
  // A class that exists without a server entry is not registered.
  ASSERT_EQ(qx::registry::DeleteTree(HKEY_CLASSES_ROOT, kThingKey + u"\\InprocServer32"),
            ERROR_SUCCESS);
  EXPECT_EQ(CreateThing(&thing), REGDB_E_CLASSNOTREG);
  CoFreeUnusedLibraries();
}

TEST(ClassRegistry, ModulesThatDoNotLoadOrExportNothingAreReported) {
  IQxTestThing* thing = nullptr;
  ASSERT_EQ(RegisterThing(u"/nonexistent/folder/libmissing.so"), S_OK);
  EXPECT_EQ(CreateThing(&thing), CO_E_DLLNOTFOUND);
  EXPECT_EQ(thing, nullptr);

  const std::string not_a_library = std::string(std::getenv("TMPDIR")) + "not-a-library.so";
  regtest::WriteFile(not_a_library, "#!/bin/sh\necho not an ELF file\n");
  ASSERT_EQ(RegisterThing(qx::Utf8ToUtf16(not_a_library)), S_OK);
  EXPECT_EQ(CreateThing(&thing), CO_E_DLLNOTFOUND);

  // A real library without the class-object entry point.
  ASSERT_EQ(RegisterThing(u"libsqlite3.so.0"), S_OK);
  EXPECT_EQ(CreateThing(&thing), CO_E_ERRORINDLL);
  EXPECT_EQ(thing, nullptr);
  CoFreeUnusedLibraries();
}

}  // namespace

// Registration scripts run in register and unregister mode.
#include <gtest/gtest.h>

#include "platform/registry/registrar.h"
#include "tests/registry/registry_test_util.h"

namespace {

using qx::registry::UpdateRegistryFromScript;
using regtest::Dump;
using regtest::ReadStringOrEmpty;

const char16_t kClassScript[] =
    uR"(HKCR
{
	QXNet.QXNet.1 = s 'QXNet Class'
	{
		CLSID = s '{7ECC8AFF-B245-42A4-B5B0-DF3E38A5689C}'
	}
	QXNet.QXNet = s 'QXNet Class'
	{
		CLSID = s '{7ECC8AFF-B245-42A4-B5B0-DF3E38A5689C}'
		CurVer = s 'QXNet.QXNet.1'
	}
	NoRemove CLSID
	{
		ForceRemove {7ECC8AFF-B245-42A4-B5B0-DF3E38A5689C} = s 'QXNet Class'
		{
			ProgID = s 'QXNet.QXNet.1'
			VersionIndependentProgID = s 'QXNet.QXNet'
			ForceRemove 'Programmable'
			InprocServer32 = s '%MODULE%'
			{
				val ThreadingModel = s 'Apartment'
			}
			'TypeLib' = s '{C30D92CF-C4BD-4851-B749-FE4BED13AF0C}'
		}
	}
}
)";

const std::u16string kClassKey = u"CLSID\\{7ECC8AFF-B245-42A4-B5B0-DF3E38A5689C}";
const qx::registry::ScriptReplacements kModule = {{u"MODULE", u"/opt/corvane/lib/libqxnet.so"}};

TEST(Registrar, RegisterWritesTheScriptsKeysAndValues) {
  ASSERT_EQ(UpdateRegistryFromScript(kClassScript, true, kModule), S_OK);
  EXPECT_EQ(ReadStringOrEmpty(HKEY_CLASSES_ROOT, u"QXNet.QXNet.1"), u"QXNet Class");
  EXPECT_EQ(ReadStringOrEmpty(HKEY_CLASSES_ROOT, u"QXNet.QXNet.1\\CLSID"),
            u"{7ECC8AFF-B245-42A4-B5B0-DF3E38A5689C}");
  EXPECT_EQ(ReadStringOrEmpty(HKEY_CLASSES_ROOT, u"QXNet.QXNet\\CurVer"), u"QXNet.QXNet.1");
  EXPECT_EQ(ReadStringOrEmpty(HKEY_CLASSES_ROOT, kClassKey), u"QXNet Class");
  EXPECT_EQ(ReadStringOrEmpty(HKEY_CLASSES_ROOT, kClassKey + u"\\ProgID"), u"QXNet.QXNet.1");
  EXPECT_EQ(ReadStringOrEmpty(HKEY_CLASSES_ROOT, kClassKey + u"\\VersionIndependentProgID"),
            u"QXNet.QXNet");
  EXPECT_EQ(ReadStringOrEmpty(HKEY_CLASSES_ROOT, kClassKey + u"\\InprocServer32"),
            u"/opt/corvane/lib/libqxnet.so");
  EXPECT_EQ(
      ReadStringOrEmpty(HKEY_CLASSES_ROOT, kClassKey + u"\\inprocserver32", u"threadingmodel"),
      u"Apartment");
  EXPECT_EQ(ReadStringOrEmpty(HKEY_CLASSES_ROOT, kClassKey + u"\\TypeLib"),
            u"{C30D92CF-C4BD-4851-B749-FE4BED13AF0C}");
  // An empty key has no default value.
  EXPECT_TRUE(qx::registry::KeyExists(HKEY_CLASSES_ROOT, kClassKey + u"\\Programmable"));
  EXPECT_EQ(Dump(HKEY_CLASSES_ROOT, kClassKey + u"\\Programmable"),
            (regtest::Listing{{kClassKey + u"\\Programmable", u""}}));

  CLSID clsid;
  ASSERT_EQ(CLSIDFromProgID(u"QXNet.QXNet", &clsid), S_OK);
  OLECHAR text[40];
  StringFromGUID2(clsid, text, 40);
  EXPECT_EQ(std::u16string(text), u"{7ECC8AFF-B245-42A4-B5B0-DF3E38A5689C}");
  LPOLESTR progId = nullptr;
  ASSERT_EQ(ProgIDFromCLSID(clsid, &progId), S_OK);
  EXPECT_EQ(std::u16string(progId), u"QXNet.QXNet.1");
  CoTaskMemFree(progId);
}

TEST(Registrar, RegisteringTwiceEqualsOnceAndForceRemoveClearsStaleContent) {
  ASSERT_EQ(UpdateRegistryFromScript(kClassScript, true, kModule), S_OK);
  const regtest::Listing once = Dump(HKEY_CLASSES_ROOT);
  // Leftovers of an older registration below the ForceRemove key disappear.
  ASSERT_EQ(qx::registry::WriteString(HKEY_CLASSES_ROOT, kClassKey + u"\\LocalServer32", u"",
                                      u"/old/path"),
            ERROR_SUCCESS);
  ASSERT_EQ(UpdateRegistryFromScript(kClassScript, true, kModule), S_OK);
  EXPECT_EQ(Dump(HKEY_CLASSES_ROOT), once);
}

TEST(Registrar, UnregisterKeepsNoRemoveKeysAndRemovesTheRest) {
  ASSERT_EQ(qx::registry::WriteString(HKEY_CLASSES_ROOT, u"CLSID\\{OTHER}", u"", u"Other class"),
            ERROR_SUCCESS);
  ASSERT_EQ(UpdateRegistryFromScript(kClassScript, true, kModule), S_OK);
  ASSERT_EQ(UpdateRegistryFromScript(kClassScript, false, kModule), S_OK);
  EXPECT_TRUE(qx::registry::KeyExists(HKEY_CLASSES_ROOT, u"CLSID"));
  EXPECT_FALSE(qx::registry::KeyExists(HKEY_CLASSES_ROOT, kClassKey));
  EXPECT_FALSE(qx::registry::KeyExists(HKEY_CLASSES_ROOT, u"QXNet.QXNet"));
  EXPECT_FALSE(qx::registry::KeyExists(HKEY_CLASSES_ROOT, u"QXNet.QXNet.1"));
  EXPECT_EQ(ReadStringOrEmpty(HKEY_CLASSES_ROOT, u"CLSID\\{OTHER}"), u"Other class");
  CLSID clsid;
  EXPECT_EQ(CLSIDFromProgID(u"QXNet.QXNet", &clsid), CO_E_CLASSSTRING);
  // Unregistering what is not there is not an error.
  EXPECT_EQ(UpdateRegistryFromScript(kClassScript, false, kModule), S_OK);
}

TEST(Registrar, ValueKindsQuotingReplacementsAndDelete) {
  ASSERT_EQ(qx::registry::WriteString(HKEY_CURRENT_USER, u"Software\\Old\\Sub", u"", u"x"),
            ERROR_SUCCESS);
  const char16_t script[] =
      uR"(HKEY_CURRENT_USER {
  NoRemove Software {
    Delete Old
    'It''s {quoted}' = s '100%% sure, %Name% at %PATH%' {
      val Decimal = d '4294967295'
      val Hex = d 0x1F
      val 'Bytes' = b '00ff10'
      val Empty = b ''
    }
  }
})";
  // A replacement text with quotes and braces is taken literally.
  const qx::registry::ScriptReplacements replacements = {{u"NAME", u"Bob's } {"},
                                                         {u"Path", u"/tmp/a b"}};
  ASSERT_EQ(UpdateRegistryFromScript(script, true, replacements), S_OK);
  EXPECT_FALSE(qx::registry::KeyExists(HKEY_CURRENT_USER, u"Software\\Old"));
  const std::u16string key = u"Software\\It's {quoted}";
  EXPECT_EQ(ReadStringOrEmpty(HKEY_CURRENT_USER, key), u"100% sure, Bob's } { at /tmp/a b");
  DWORD number = 0;
  ASSERT_EQ(qx::registry::ReadDword(HKEY_CURRENT_USER, key, u"Decimal", number), ERROR_SUCCESS);
  EXPECT_EQ(number, 0xFFFFFFFFu);
  ASSERT_EQ(qx::registry::ReadDword(HKEY_CURRENT_USER, key, u"Hex", number), ERROR_SUCCESS);
  EXPECT_EQ(number, 31u);
  qx::registry::NamedValue bytes;
  ASSERT_EQ(qx::registry::ReadValue(HKEY_CURRENT_USER, key, u"Bytes", bytes), ERROR_SUCCESS);
  EXPECT_EQ(bytes.type, static_cast<DWORD>(REG_BINARY));
  EXPECT_EQ(bytes.data, (std::vector<BYTE>{0x00, 0xFF, 0x10}));

  ASSERT_EQ(UpdateRegistryFromScript(script, false, replacements), S_OK);
  EXPECT_TRUE(qx::registry::KeyExists(HKEY_CURRENT_USER, u"Software"));
  EXPECT_FALSE(qx::registry::KeyExists(HKEY_CURRENT_USER, key));
}

TEST(Registrar, ScriptErrorsWriteNothing) {
  const char16_t* const bad_scripts[] = {
      u"HKCR { Good = s 'x' { Sub = s 'y' }",          // missing brace
      u"HKCR { Good = s 'x' } HKXX { Key }",           // unknown root
      u"HKCR { Good = s 'x' Key = q 'x' }",            // unknown value type
      u"HKCR { Good = s 'x' Key = d '12z' }",          // bad number
      u"HKCR { Good = s 'x' Key = d '4294967296' }",   // number too large
      u"HKCR { Good = s 'x' Key = b 'abc' }",          // odd hex digits
      u"HKCR { Good = s 'x' Key = s 'unterminated }",  // open quote
      u"HKCR { Good = s 'x' Key = s '%UNKNOWN%' }",    // unknown replacement
      u"HKCR { Good = s 'x' Key = s '50% off' }",      // lone percent
      u"HKCR { Good = s 'x' 'A\\B' = s 'x' }",         // backslash in a name
      u"HKCR { Good = s 'x' Key = }",                  // missing value
      u"HKCR { val Top = s 'x' }",                     // value outside a key
      u"HKCR Good",                                    // no block
  };
  for (const char16_t* script : bad_scripts) {
    EXPECT_EQ(UpdateRegistryFromScript(script, true, kModule), DISP_E_EXCEPTION)
        << qx::Utf16ToUtf8(script);
  }
  EXPECT_EQ(Dump(HKEY_CLASSES_ROOT), (regtest::Listing{{u"", u""}}));
  // Deep nesting is refused, not a crash.
  std::u16string deep = u"HKCR {";
  for (int i = 0; i < 100000; ++i) deep += u" K {";
  EXPECT_EQ(UpdateRegistryFromScript(deep, true, {}), DISP_E_EXCEPTION);
  EXPECT_EQ(Dump(HKEY_CLASSES_ROOT), (regtest::Listing{{u"", u""}}));
  // An empty script is valid and does nothing.
  EXPECT_EQ(UpdateRegistryFromScript(u"  \n", true, {}), S_OK);
}

TEST(Registrar, WriteFailureStopsWithItsCode) {
  const std::string path = std::getenv("QXNET_REGISTRY");
  regtest::WriteFile(path, std::string(4096, 'Z'));
  EXPECT_EQ(UpdateRegistryFromScript(kClassScript, true, kModule), HRESULT_FROM_WIN32(ERROR_BADDB));
  EXPECT_EQ(regtest::ReadFile(path), std::string(4096, 'Z'));
}

}  // namespace

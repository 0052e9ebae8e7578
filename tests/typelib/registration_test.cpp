// The type library's registry keys, written into this test process's own
// registry store.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "qxnet/text.h"
#include "server/type_library/type_library.h"
#include "tests/support/registry_dump.h"

namespace typelib_test {
namespace {

constexpr char16_t kModule[] = u"/opt/corvane/lib/libqxnet.so";

using qxtest::GuidText;

std::u16string LibKey() { return u"TypeLib\\" + GuidText(LIBID_QXNETLib); }

bool KeyExists(const std::u16string& path) {
  return qxtest::RegistryKeyExists(HKEY_CLASSES_ROOT, path);
}

// The string value `name` of HKCR\<path>, or "<missing>".
std::u16string ReadString(const std::u16string& path, const char16_t* name = u"") {
  return qxtest::ReadRegistryString(HKEY_CLASSES_ROOT, path, name).value_or(u"<missing>");
}

// Every key and value below the library's keys.
std::map<std::u16string, std::u16string> Snapshot() {
  auto all = qxtest::DumpRegistry(HKEY_CLASSES_ROOT, u"TypeLib");
  all.merge(qxtest::DumpRegistry(HKEY_CLASSES_ROOT, u"Interface"));
  return all;
}

TEST(TypeLibraryRegistration, WritesTheLibraryKeyAndAnInterfaceKeyForEveryInterface) {
  ASSERT_EQ(qx::typelib::RegisterTypeLibrary(kModule), S_OK);
  const std::u16string version = LibKey() + u"\\1.0";
  EXPECT_EQ(ReadString(version), u"QXNETLib");
  EXPECT_EQ(ReadString(version + u"\\0\\win32"), kModule);
  EXPECT_EQ(ReadString(version + u"\\FLAGS"), u"0");
  EXPECT_EQ(ReadString(version + u"\\HELPDIR"), u"/opt/corvane/lib");
  for (const qx::typelib::InterfaceDesc& d : qx::typelib::Library().interfaces) {
    const std::u16string key = u"Interface\\" + GuidText(*d.iid);
    SCOPED_TRACE(qx::Utf16ToUtf8(d.name));
    EXPECT_EQ(ReadString(key), d.name);
    EXPECT_EQ(ReadString(key + u"\\ProxyStubClsid32"), u"{00020424-0000-0000-C000-000000000046}");
    EXPECT_EQ(ReadString(key + u"\\TypeLib"), GuidText(LIBID_QXNETLib));
    EXPECT_EQ(ReadString(key + u"\\TypeLib", u"Version"), u"1.0");
  }
}

TEST(TypeLibraryRegistration, RegisteringTwiceEqualsOnceAndReplacesStaleContent) {
  ASSERT_EQ(qx::typelib::RegisterTypeLibrary(u"/old/place/libqxnet.so"), S_OK);
  ASSERT_EQ(qx::typelib::RegisterTypeLibrary(kModule), S_OK);
  const auto once = Snapshot();
  ASSERT_EQ(qx::typelib::RegisterTypeLibrary(kModule), S_OK);
  EXPECT_EQ(Snapshot(), once);
  EXPECT_EQ(ReadString(LibKey() + u"\\1.0\\HELPDIR"), u"/opt/corvane/lib");
}

TEST(TypeLibraryRegistration, UnregisterRemovesExactlyItsOwnKeys) {
  // A neighbour that belongs to someone else.
  const std::u16string other = u"Interface\\{00020400-0000-0000-C000-000000000046}";
  qxtest::CreateRegistryKey(HKEY_CLASSES_ROOT, other);

  ASSERT_EQ(qx::typelib::RegisterTypeLibrary(kModule), S_OK);
  ASSERT_EQ(qx::typelib::UnregisterTypeLibrary(), S_OK);
  EXPECT_FALSE(KeyExists(LibKey()));
  for (const qx::typelib::InterfaceDesc& d : qx::typelib::Library().interfaces)
    EXPECT_FALSE(KeyExists(u"Interface\\" + GuidText(*d.iid))) << qx::Utf16ToUtf8(d.name);
  EXPECT_TRUE(KeyExists(other));

  // Nothing left to remove is not a failure.
  EXPECT_EQ(qx::typelib::UnregisterTypeLibrary(), S_OK);
}

}  // namespace
}  // namespace typelib_test

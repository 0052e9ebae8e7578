// The type library's registry keys, written into this test process's own
// registry store.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "qxnet/text.h"
#include "server/type_library/type_library.h"

namespace typelib_test {
namespace {

constexpr char16_t kModule[] = u"/opt/corvane/lib/libqxnet.so";

std::u16string GuidText(const GUID& g) {
  char16_t buffer[40] = {};
  StringFromGUID2(g, buffer, 40);
  return buffer;
}

std::u16string LibKey() { return u"TypeLib\\" + GuidText(LIBID_QXNETLib); }

bool KeyExists(const std::u16string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
    return false;
  RegCloseKey(key);
  return true;
}

// The string value `name` of HKCR\<path>, or "<missing>".
std::u16string ReadString(const std::u16string& path, const char16_t* name = nullptr) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
    return u"<missing>";
  char16_t data[512] = {};
  DWORD size = sizeof(data) - sizeof(char16_t);
  DWORD type = 0;
  const LSTATUS status =
      RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS || type != REG_SZ) return u"<missing>";
  return std::u16string(data);
}

// Every value below HKCR\<path>, keyed by key path and value name.
void Dump(const std::u16string& path, std::map<std::u16string, std::u16string>& out) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
  for (DWORD i = 0;; ++i) {
    char16_t name[256] = {};
    DWORD nameLength = 256;
    BYTE data[1024] = {};
    DWORD dataSize = sizeof(data) - 2;
    DWORD type = 0;
    if (RegEnumValueW(key, i, name, &nameLength, nullptr, &type, data, &dataSize) !=
        ERROR_SUCCESS)
      break;
    out[path + u"|" + name] = reinterpret_cast<const char16_t*>(data);
  }
  for (DWORD i = 0;; ++i) {
    char16_t name[256] = {};
    DWORD nameLength = 256;
    if (RegEnumKeyExW(key, i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS)
      break;
    out[path + u"\\" + name + u"\\"] = u"";
    Dump(path + u"\\" + name, out);
  }
  RegCloseKey(key);
}

std::map<std::u16string, std::u16string> Snapshot() {
  std::map<std::u16string, std::u16string> all;
  Dump(u"TypeLib", all);
  Dump(u"Interface", all);
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
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, other.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                            &key, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(key);

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

// Registry keys of the type library: HKCR\TypeLib\{LIBID}\1.0 with the
// module's path, flags and help folder, and HKCR\Interface\{IID} for every
// interface the library describes. Each key is removed with its subtree
// before it is written, so registering twice leaves the same content as
// registering once.
#include <string>

#include "qxnet/registry_key.h"
#include "server/type_library/type_library.h"

namespace qx::typelib {
namespace {

// The universal marshaler, which marshals from the type library. Every
// interface of the library uses only automation types, so it serves all.
constexpr char16_t kUniversalMarshaler[] = u"{00020424-0000-0000-C000-000000000046}";

std::u16string GuidText(const GUID& guid) {
  char16_t buffer[40] = {};
  const INT n = StringFromGUID2(guid, buffer, 40);
  return n > 0 ? std::u16string(buffer) : std::u16string();
}

std::u16string VersionText() {
  const LibraryDesc& lib = Library();
  std::string text = std::to_string(lib.majorVersion) + "." + std::to_string(lib.minorVersion);
  return std::u16string(text.begin(), text.end());
}

HRESULT FromStatus(LSTATUS status) {
  return status == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(status);
}

// Creates HKCR\<path> and sets its value `name` (null: the default value).
HRESULT SetString(const std::u16string& path, const char16_t* name, std::u16string_view text) {
  RegistryKey key;
  LSTATUS status = RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr,
                                   REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, key.Put(), nullptr);
  if (status != ERROR_SUCCESS) return FromStatus(status);
  const std::u16string value(text);
  status = RegSetValueExW(key.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(char16_t)));
  return FromStatus(status);
}

// Removes HKCR\<path> with its subtree; a key that is not there is fine.
HRESULT DeleteTree(const std::u16string& path) {
  const LSTATUS status = RegDeleteTreeW(HKEY_CLASSES_ROOT, path.c_str());
  if (status == ERROR_FILE_NOT_FOUND || status == ERROR_PATH_NOT_FOUND) return S_OK;
  return FromStatus(status);
}

std::u16string TypeLibKey() { return u"TypeLib\\" + GuidText(*Library().libid); }
std::u16string InterfaceKey(const InterfaceDesc& d) { return u"Interface\\" + GuidText(*d.iid); }

// The folder holding the module, without a trailing separator.
std::u16string_view FolderOf(std::u16string_view path) {
  const auto slash = path.find_last_of(u"/\\");
  if (slash == std::u16string_view::npos) return {};
  return path.substr(0, slash == 0 ? 1 : slash);
}

HRESULT RegisterLibraryKey(std::u16string_view modulePath) {
  const std::u16string version = TypeLibKey() + u"\\" + VersionText();
  HRESULT hr = DeleteTree(version);
  if (SUCCEEDED(hr)) hr = SetString(version, nullptr, Library().name);
  if (SUCCEEDED(hr)) hr = SetString(version + u"\\0\\win32", nullptr, modulePath);
  if (SUCCEEDED(hr)) hr = SetString(version + u"\\0\\linux64", nullptr, modulePath);
  if (SUCCEEDED(hr)) hr = SetString(version + u"\\FLAGS", nullptr, u"0");
  if (SUCCEEDED(hr)) hr = SetString(version + u"\\HELPDIR", nullptr, FolderOf(modulePath));
  return hr;
}

HRESULT RegisterInterfaceKey(const InterfaceDesc& d) {
  const std::u16string key = InterfaceKey(d);
  HRESULT hr = DeleteTree(key);
  if (SUCCEEDED(hr)) hr = SetString(key, nullptr, d.name);
  if (SUCCEEDED(hr)) hr = SetString(key + u"\\ProxyStubClsid32", nullptr, kUniversalMarshaler);
  if (SUCCEEDED(hr)) hr = SetString(key + u"\\TypeLib", nullptr, GuidText(*Library().libid));
  if (SUCCEEDED(hr)) hr = SetString(key + u"\\TypeLib", u"Version", VersionText());
  return hr;
}

}  // namespace

HRESULT RegisterTypeLibrary(std::u16string_view modulePath) {
  HRESULT hr = RegisterLibraryKey(modulePath);
  for (const InterfaceDesc& d : Library().interfaces) {
    if (FAILED(hr)) break;
    hr = RegisterInterfaceKey(d);
  }
  return hr;
}

HRESULT UnregisterTypeLibrary() {
  HRESULT hr = DeleteTree(TypeLibKey());
  for (const InterfaceDesc& d : Library().interfaces) {
    if (FAILED(hr)) break;
    hr = DeleteTree(InterfaceKey(d));
  }
  return hr;
}

}  // namespace qx::typelib

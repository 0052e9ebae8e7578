// The machine-wide switch of the internet cache: the registry text value
// "Use Internet Cache". Only a readable text equal to "false" (any case)
// switches the cache off.
#include "net/cache/registry_key.h"
#include "net/qxnet.h"

namespace qx {

namespace {

constexpr char16_t kUseCacheValue[] = u"Use Internet Cache";
// The value must fit, terminator included, in this many characters.
constexpr DWORD kValueCapacity = 255;

bool IsFalseText(std::u16string_view text) {
  static constexpr std::u16string_view kFalse = u"false";
  if (text.size() != kFalse.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    if (c != kFalse[i]) return false;
  }
  return true;
}

}  // namespace

bool CQXNet::UseInternetCache() {
  net::RegistryKey key;
  if (!key.OpenForReading(HKEY_LOCAL_MACHINE, net::kCacheSettingsKey)) return true;
  char16_t text[kValueCapacity] = {};
  DWORD type = REG_NONE;
  DWORD size = sizeof(text);
  if (RegQueryValueExW(key.Get(), kUseCacheValue, nullptr, &type, reinterpret_cast<BYTE*>(text),
                       &size) != ERROR_SUCCESS) {
    return true;
  }
  if (type != REG_SZ && type != REG_EXPAND_SZ && type != REG_MULTI_SZ) return true;
  std::u16string_view value(text, size / sizeof(char16_t));
  // The text ends at its first terminator (a multi-string's first string).
  if (const size_t end = value.find(u'\0'); end != std::u16string_view::npos) {
    value = value.substr(0, end);
  } else if (value.size() + 1 > kValueCapacity) {
    return true;  // no room left for the terminator
  }
  return !IsFalseText(value);
}

}  // namespace qx

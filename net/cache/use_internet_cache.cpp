// The machine-wide switch of the internet cache: the registry text value
// "Use Internet Cache". Only a readable text equal to "false" (any case)
// switches the cache off.
#include "net/cache/use_internet_cache.h"

#include "net/cache/cache_settings_key.h"
#include "qxnet/registry_key.h"
#include "qxnet/text.h"

namespace qx::net {

namespace {

constexpr char16_t kUseCacheValue[] = u"Use Internet Cache";
// The value must fit, terminator included, in this many characters.
constexpr DWORD kValueCapacity = 255;

}  // namespace

bool UseInternetCache() {
  RegistryKey key;
  if (!key.OpenForReading(HKEY_LOCAL_MACHINE, kCacheSettingsKey)) return true;
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
  return !EqualsIgnoringAsciiCase(value, u"false");
}

}  // namespace qx::net

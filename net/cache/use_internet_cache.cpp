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
// Longer texts cannot be "false".
constexpr size_t kValueCapacity = 255;

}  // namespace

bool UseInternetCache() {
  const std::optional<std::u16string> value =
      ReadMachineText(kCacheSettingsKey, kUseCacheValue, kValueCapacity);
  return !value || !EqualsIgnoringAsciiCase(*value, u"false");
}

}  // namespace qx::net

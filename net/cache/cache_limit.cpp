#include "net/cache/cache_limit.h"

#include <cstdlib>
#include <limits>

#include "net/cache/cache_settings_key.h"
#include "qxnet/registry_key.h"
#include "qxnet/text.h"

namespace qx::net {
namespace {

constexpr char kEnvironmentName[] = "QXNET_CACHE_LIMIT";
constexpr char16_t kRegistryValue[] = u"Internet Cache Limit";
constexpr char kRegistryName[] = "Internet Cache Limit";
// A longer text is no size.
constexpr size_t kTextCapacity = 63;

CacheLimit FromText(std::string_view text, const char* source) {
  CacheLimit limit;
  if (const std::optional<uint64_t> bytes = ParseCacheLimit(text)) {
    limit.bytes = *bytes;
    limit.source = source;
  } else {
    limit.source = "default";
    limit.problem = std::string(source) + " is not a size: \"" + std::string(text) +
                    "\"; the default of 1 GiB is used";
  }
  return limit;
}

// The registry value, when it is set: a text or a DWORD.
std::optional<CacheLimit> RegistryLimit() {
  if (const std::optional<std::u16string> text =
          ReadMachineText(kCacheSettingsKey, kRegistryValue, kTextCapacity)) {
    return FromText(Utf16ToUtf8(*text), kRegistryName);
  }
  qx::RegistryKey key;
  if (!key.OpenForReading(HKEY_LOCAL_MACHINE, kCacheSettingsKey)) return std::nullopt;
  DWORD type = REG_NONE;
  DWORD size = 0;
  if (RegQueryValueExW(key.Get(), kRegistryValue, nullptr, &type, nullptr, &size) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  // A text too long for a size.
  if (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ) return std::nullopt;
  DWORD bytes = 0;
  if (type == REG_DWORD && size == sizeof bytes &&
      RegQueryValueExW(key.Get(), kRegistryValue, nullptr, &type, reinterpret_cast<BYTE*>(&bytes),
                       &size) == ERROR_SUCCESS &&
      type == REG_DWORD) {
    return CacheLimit{bytes, kRegistryName, {}};
  }
  CacheLimit limit;
  limit.source = "default";
  limit.problem =
      std::string(kRegistryName) + " is neither a text nor a DWORD; the default of 1 GiB is used";
  return limit;
}

}  // namespace

std::optional<uint64_t> ParseCacheLimit(std::string_view text) {
  if (text.empty()) return std::nullopt;
  uint64_t unit = 1;
  switch (text.back()) {
    case 'k':
    case 'K':
      unit = uint64_t{1} << 10;
      break;
    case 'm':
    case 'M':
      unit = uint64_t{1} << 20;
      break;
    case 'g':
    case 'G':
      unit = uint64_t{1} << 30;
      break;
    default:
      break;
  }
  if (unit != 1) text.remove_suffix(1);
  if (text.empty()) return std::nullopt;
  constexpr uint64_t kMax = std::numeric_limits<uint64_t>::max();
  uint64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    const auto digit = static_cast<uint64_t>(c - '0');
    if (value > (kMax - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  if (value > kMax / unit) return std::nullopt;
  return value * unit;
}

CacheLimit ReadCacheLimit() {
  if (const char* text = std::getenv(kEnvironmentName); text != nullptr && *text != '\0') {
    return FromText(text, kEnvironmentName);
  }
  if (std::optional<CacheLimit> limit = RegistryLimit()) return *limit;
  CacheLimit limit;
  limit.source = "default";
  return limit;
}

}  // namespace qx::net

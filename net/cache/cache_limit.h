// The size limit of the internet cache.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qx::net {

constexpr uint64_t kDefaultCacheLimit = uint64_t{1} << 30;  // 1 GiB

struct CacheLimit {
  uint64_t bytes = kDefaultCacheLimit;
  std::string source;   // "QXNET_CACHE_LIMIT", the registry value's name, or "default"
  std::string problem;  // why a value that was set is not used; empty when none
};

// A limit written as a whole number of bytes, optionally followed by K, M
// or G (binary multiples, either case): "1048576", "512M", "2g". nullopt
// for anything else, an overflow included.
std::optional<uint64_t> ParseCacheLimit(std::string_view text);

// The environment variable QXNET_CACHE_LIMIT, else the registry value
// "Internet Cache Limit" (a text as above, or a DWORD of bytes) under
// HKEY_LOCAL_MACHINE beside "Use Internet Cache", else 1 GiB. A value that
// cannot be read as a limit gives the default and says so in `problem`.
CacheLimit ReadCacheLimit();

}  // namespace qx::net

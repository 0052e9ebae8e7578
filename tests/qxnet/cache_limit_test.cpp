// The size limit of the internet cache: its syntax, and where it is read
// from (environment before registry before the default).
#include <cstdlib>

#include "net/cache/cache_limit.h"
#include "tests/qxnet/qxnet_fixture.h"
#include "tests/support/registry_dump.h"

namespace qxnettest {
namespace {

using qx::net::CacheLimit;
using qx::net::kDefaultCacheLimit;
using qx::net::ParseCacheLimit;
using qx::net::ReadCacheLimit;

TEST(CacheLimitTest, SizesAreWholeBytesWithAnOptionalBinaryUnit) {
  const std::pair<const char*, std::optional<uint64_t>> cases[] = {
      {"0", 0},
      {"512k", 512 * 1024},
      {"2g", uint64_t{2} << 30},
      {"18446744073709551616", std::nullopt},  // overflow
      {"17179869184G", std::nullopt},          // overflow through the unit
      {"", std::nullopt},
      {"M", std::nullopt},
      {"1.5G", std::nullopt},
      {"10MB", std::nullopt},
  };
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(ParseCacheLimit(text), expected) << '"' << text << '"';
  }
}

void SetLimitValue(DWORD type, const void* data, DWORD size) {
  qxtest::WriteRegistryValue(HKEY_LOCAL_MACHINE, qxtest::kProductKey, u"Internet Cache Limit", type,
                             data, size);
}

TEST_F(QXNetTest, LimitComesFromTheEnvironmentThenTheRegistryThenTheDefault) {
  unsetenv("QXNET_CACHE_LIMIT");
  CacheLimit limit = ReadCacheLimit();
  EXPECT_EQ(limit.bytes, kDefaultCacheLimit);
  EXPECT_EQ(limit.source, "default");

  const char16_t text[] = u"200M";
  SetLimitValue(REG_SZ, text, sizeof text);
  limit = ReadCacheLimit();
  EXPECT_EQ(limit.bytes, uint64_t{200} << 20);
  EXPECT_EQ(limit.source, "Internet Cache Limit");

  const DWORD bytes = 5000;
  SetLimitValue(REG_DWORD, &bytes, sizeof bytes);
  EXPECT_EQ(ReadCacheLimit().bytes, 5000u);

  setenv("QXNET_CACHE_LIMIT", "1k", 1);
  limit = ReadCacheLimit();
  EXPECT_EQ(limit.bytes, 1024u);
  EXPECT_EQ(limit.source, "QXNET_CACHE_LIMIT");

  // A registry value that is no size gives the default and says why.
  unsetenv("QXNET_CACHE_LIMIT");
  const char16_t junk[] = u"big";
  SetLimitValue(REG_SZ, junk, sizeof junk);
  limit = ReadCacheLimit();
  EXPECT_EQ(limit.bytes, kDefaultCacheLimit);
  EXPECT_NE(limit.problem.find("Internet Cache Limit"), std::string::npos);
}

}  // namespace
}  // namespace qxnettest

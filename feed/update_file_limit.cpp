#include "feed/update_file_limit.h"

#include <cstdlib>
#include <optional>

#include "net/cache/cache_limit.h"

namespace qx::feed {

uint64_t UpdateFileLimit() {
  const char* text = std::getenv("QXNET_UPDATE_FILE_LIMIT");
  if (text == nullptr) return kDefaultUpdateFileLimit;
  // Sizes are written as for the cache limit.
  const std::optional<uint64_t> bytes = net::ParseCacheLimit(text);
  return bytes ? *bytes : kDefaultUpdateFileLimit;
}

}  // namespace qx::feed

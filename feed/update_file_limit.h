// The largest feed or catalog file that is read. A larger file is refused
// before it is parsed, so a huge (or ever-growing) file cannot take the
// memory of the process: parsing holds about three times the file.
#pragma once

#include <cstdint>

namespace qx::feed {

inline constexpr uint64_t kDefaultUpdateFileLimit = uint64_t{64} << 20;  // 64 MiB

// QXNET_UPDATE_FILE_LIMIT: bytes, or with a K, M or G suffix; the default
// when unset or not a size.
uint64_t UpdateFileLimit();

}  // namespace qx::feed

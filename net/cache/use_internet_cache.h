// The machine-wide switch of the internet cache.
#pragma once

namespace qx::net {

// False only when the registry text value "Use Internet Cache" reads
// "false" (any case).
bool UseInternetCache();

}  // namespace qx::net

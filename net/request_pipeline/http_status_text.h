// The message a request fails with for an HTTP status other than success.
#pragma once

#include <cstdint>
#include <string>

namespace qx::net {

// "(404) The server has not found anything ..." for the statuses of the
// table; "(<status>) Unidentified status code" for every other.
std::u16string HttpStatusMessage(uint32_t status);

}  // namespace qx::net

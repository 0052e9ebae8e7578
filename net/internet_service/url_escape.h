// Percent-escaping of the characters that may not stand in a URL as they are.
#pragma once

#include <string>
#include <string_view>

namespace qx::inet {

// Escapes blanks, controls, non-ASCII bytes and the other characters not
// allowed in a path (with `inQuery`, in a query or fragment, where "?" may
// stand). Existing "%XX" escapes are kept; a lone "%" becomes "%25".
std::string EscapeUnsafeUrlText(std::string_view text, bool inQuery);

}  // namespace qx::inet

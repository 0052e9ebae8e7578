// The file extension a download asks the internet cache for.
#pragma once

#include <string>
#include <string_view>

namespace qx::net {

// "tmp" for an empty URL or one ending in '/'; else the text after the last
// '.' when one stands before the end; else the whole URL. The cache cuts
// what it is given down to a short run of letters and digits.
std::u16string CacheExtensionOfUrl(std::u16string_view canonicalUrl);

}  // namespace qx::net

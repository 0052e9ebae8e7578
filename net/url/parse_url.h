// Every transfer's URL check: the URL canonicalised by the internet service
// and cracked into the parts the transfer works with.
#pragma once

#include <string_view>

#include "net/url/url_parts.h"

namespace qx::net {

// Canonicalises and cracks `url` into `parts`: true when cracking
// succeeded; throws "Unrecognized scheme in url" when the URL cannot be
// canonicalised at all.
bool ParseUrl(UrlParts& parts, std::u16string_view url);

// Fills `parts`; throws "Invalid URL.\n    <url>" unless it is http(s).
void ValidateUrl2(std::u16string_view url, UrlParts& parts);

}  // namespace qx::net

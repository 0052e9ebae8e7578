// The internet-cache side of a download: a new cache file for the URL, and
// the commit that records it once the body is complete.
#pragma once

#include <string>

#include "net/internet_service/internet_service.h"
#include "net/url/url_parts.h"

namespace qx::net {

// A new internet-cache file for the URL; throws when none can be made.
void GetCacheNewFileName(const UrlParts& parts, std::u16string& path);

// Commits the cache file under the canonical URL, then keeps the cache
// within its size limit; never throws.
void CommitCacheEntry(const UrlParts& parts, const std::u16string& path,
                      inet::FILETIME lastModified);

}  // namespace qx::net

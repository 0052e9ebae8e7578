// The internet-cache queries behind GetCacheInfo, each on the URL's
// canonical form.
#pragma once

#include <string>

#include "net/transfer_state.h"
#include "net/url/url_parts.h"

namespace qx::net {

// Whether the cache holds an entry for the URL.
bool GetCachedFileExists(const UrlParts& parts);

// Stamps the entry as checked, then asks the server for the URL's
// modification time: true when it is not later than the entry's. `parent`
// owns the credential prompt.
bool IsCacheCurrent(TransferState& transfer, const UrlParts& parts, HWND parent);

// The entry's local file into `path` (left as it was when the entry has
// none); throws "File does not exist in cache:..." without an entry.
void GetCachedFile(const UrlParts& parts, std::u16string& path);

// Whether the entry's file can be read; an entry whose file cannot is
// removed.
bool ValidateCacheEntry(const UrlParts& parts);

// Removes the URL's entry.
void DeleteCacheEntry(const UrlParts& parts);

}  // namespace qx::net

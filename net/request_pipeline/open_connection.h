// The object's session and its per-host connection cache.
#pragma once

#include "net/transfer_state.h"
#include "net/url/url_parts.h"

namespace qx::net {

// Opens a session into `session`; throws "Unable to open Internet access...".
void OpenInternetAccess(TransferState& transfer, inet::HINTERNET& session);

// Sets `connection` to the cached connection of the URL's host and port,
// or opens one with `session` and caches it. The transfer state owns every
// cached connection; callers never close it.
void OpenInternetConnection(TransferState& transfer, inet::HINTERNET session,
                            inet::HINTERNET& connection, const UrlParts& parts);

}  // namespace qx::net

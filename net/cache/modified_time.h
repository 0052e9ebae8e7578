// A URL's Last-Modified time, asked of the server with a HEAD request.
#pragma once

#include "net/transfer_state.h"
#include "net/url/url_parts.h"

namespace qx::net {

// The request goes through a session of its own that is closed again when
// the call ends. A server that cannot be reached or refuses the request
// answers false; a response without the time throws "Unable to get
// modified time\n...". `parent` owns the credential prompt.
bool GetModifiedTime(TransferState& transfer, const UrlParts& parts, SYSTEMTIME& modified,
                     HWND parent);

}  // namespace qx::net

// One request on a cached connection, with the default flags of its verb.
#pragma once

#include <cstdint>

#include "net/request_pipeline/internet_handle.h"
#include "net/transfer_state.h"
#include "net/url/url_parts.h"

namespace qx::net {

// Opens a request for the URL path. verb: nullptr (GET), u"HEAD", u"POST".
// flags -1: the default flags of the verb (plus the secure flag for https).
void OpenHttpRequest(TransferState& transfer, inet::HINTERNET connection, const UrlParts& parts,
                     const char16_t* verb, InternetHandleOwner& request, int32_t flags = -1);

}  // namespace qx::net

// The connectivity members of QXNet.
#pragma once

#include "net/transfer_state.h"

namespace qx::net {

// IsConnected: not switched off line by the user, and a connection to the
// internet exists or could be made.
HRESULT IsConnected(TransferState& transfer, VARIANT_BOOL* pVal);
// Whether the URL's server answers a HEAD request; never reports a failure.
HRESULT CanConnect(TransferState& transfer, BSTR url, VARIANT_BOOL* retVal);
// Whether the URL is an acceptable http(s) URL.
HRESULT ValidateUrl(TransferState& transfer, BSTR url);
// Whether `host` accepts a TCP connection on `port` within the time limit.
HRESULT AttemptConnect(TransferState& transfer, BSTR host, LONG port, LONG timeoutMilliseconds,
                       VARIANT_BOOL* retVal);

}  // namespace qx::net

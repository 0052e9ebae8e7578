// RetrieveFile, the download member of QXNet.
#pragma once

#include "net/transfer_state.h"

namespace qx::net {

// Downloads an http(s) URL into a new internet-cache file, copies it to
// the caller's destination (or hands back the cache file's path), commits
// the cache entry and fires End. Failures are reported as error records.
HRESULT RetrieveFile(TransferState& transfer, BSTR url, LONG parentWnd, BSTR* fileName);

}  // namespace qx::net

// GetCacheInfo, the cache member of QXNet.
#pragma once

#include "net/transfer_state.h"

namespace qx::net {

// Whether the internet cache holds a copy of a URL, whether that copy is
// still current on the server, and where its local file is. Failures are
// reported as error records.
HRESULT GetCacheInfo(TransferState& transfer, BSTR url, LONG parentWnd,
                     VARIANT_BOOL* bCacheFileExists, VARIANT_BOOL* bCacheFileCurrent,
                     BSTR* cacheFileName);

}  // namespace qx::net

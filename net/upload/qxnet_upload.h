// The upload members of QXNet.
#pragma once

#include "net/transfer_state.h"

namespace qx::net {

// Posts the file's bytes through the object's own request pipeline and
// keeps the server's answer in a file (`returnFile` names it, or receives
// the name of a new one). Fires End.
HRESULT UploadFile(TransferState& transfer, BSTR fileName, BSTR url, LONG parentWnd,
                   BSTR* returnFile);
// Posts the file Base64-encoded as a form field through the browser
// stand-in, which goes on by itself after the call has returned. Fires End.
HRESULT UploadFileForm(TransferState& transfer, BSTR fileName, BSTR url, LONG parentWnd,
                       BSTR formFieldName, VARIANT_BOOL displayBrowser);

}  // namespace qx::net

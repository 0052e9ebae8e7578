// CQXNet: the QXNet class, the library's internet-transfer object.
//
// Its public face is _QXNet and _QXNetConnect; each member hands the call
// to the folder that does the work — net/download (RetrieveFile), net/upload
// (UploadFile, UploadFileForm), net/cache (GetCacheInfo) and
// net/connectivity (IsConnected, CanConnect, ValidateUrl, AttemptConnect) —
// over the state the object's transfers share (net/transfer_state.h).
//
// The object lives in the caller's apartment: one call at a time, no locks.
#pragma once

#include "net/transfer_state.h"
#include "qxnet/qxnetlib.h"
#include "server/event_source/qxnet_event_source.h"
#include "server/object_frame/dispatch_object.h"

namespace qx {

class CQXNet final
    : public DispatchObject<CQXNet, _QXNet, SingleThreaded, _QXNetConnect, QXNetEventSource> {
 public:
  static constexpr const CLSID& kClsid = CLSID_QXNet;
  // Every error record of this class carries the null interface identifier.
  static const IID& ErrorInterface() { return IID_NULL; }

  CQXNet();
  ~CQXNet() override;

  // ------------------------------------------------------------ _QXNet
  HRESULT STDMETHODCALLTYPE RetrieveFile(BSTR url, LONG parentWnd, BSTR* fileName) override;
  HRESULT STDMETHODCALLTYPE UploadFile(BSTR fileName, BSTR url, LONG parentWnd,
                                       BSTR* returnFile) override;
  HRESULT STDMETHODCALLTYPE ValidateUrl(BSTR url) override;
  HRESULT STDMETHODCALLTYPE GetCacheInfo(BSTR url, LONG parentWnd, VARIANT_BOOL* bCacheFileExists,
                                         VARIANT_BOOL* bCacheFileCurrent,
                                         BSTR* cacheFileName) override;
  HRESULT STDMETHODCALLTYPE get_IsConnected(VARIANT_BOOL* pVal) override;
  HRESULT STDMETHODCALLTYPE CanConnect(BSTR url, VARIANT_BOOL* retVal) override;
  HRESULT STDMETHODCALLTYPE UploadFileForm(BSTR fileName, BSTR url, LONG parentWnd,
                                           BSTR formFieldName,
                                           VARIANT_BOOL displayBrowser) override;

  // ------------------------------------------------------------ _QXNetConnect
  HRESULT STDMETHODCALLTYPE AttemptConnect(BSTR host, LONG port, LONG timeoutMilliseconds,
                                           VARIANT_BOOL* retVal) override;

 private:
  // The session, connection cache and progress counter of the object's
  // transfers; progress and End go to this object's sinks.
  net::TransferState transfer_;
};

}  // namespace qx

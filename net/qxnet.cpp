// CQXNet: construction and destruction, and each public member handed to
// the folder that does the work. No exception leaves a member.
#include "net/qxnet.h"

#include "net/cache/get_cache_info.h"
#include "net/connectivity/qxnet_connectivity.h"
#include "net/download/retrieve_file.h"
#include "net/trace_log/trace_log.h"
#include "net/upload/qxnet_upload.h"
#include "server/module/object_map.h"

namespace qx {

CQXNet::CQXNet() : transfer_(*this, kClsid, ErrorInterface()) {
  net::TrimLogFile();
  net::WriteLog(u"----------CQXNet()------------");
  net::LogSystemInfo();
}

// The transfer state closes its connections and session after this entry.
CQXNet::~CQXNet() { net::WriteLog(u"----------~CQXNet()------------"); }

HRESULT STDMETHODCALLTYPE CQXNet::RetrieveFile(BSTR url, LONG parentWnd, BSTR* fileName) {
  return NoThrow([&] { return net::RetrieveFile(transfer_, url, parentWnd, fileName); });
}

HRESULT STDMETHODCALLTYPE CQXNet::UploadFile(BSTR fileName, BSTR url, LONG parentWnd,
                                             BSTR* returnFile) {
  return NoThrow([&] { return net::UploadFile(transfer_, fileName, url, parentWnd, returnFile); });
}

HRESULT STDMETHODCALLTYPE CQXNet::ValidateUrl(BSTR url) {
  return NoThrow([&] { return net::ValidateUrl(transfer_, url); });
}

HRESULT STDMETHODCALLTYPE CQXNet::GetCacheInfo(BSTR url, LONG parentWnd,
                                               VARIANT_BOOL* bCacheFileExists,
                                               VARIANT_BOOL* bCacheFileCurrent,
                                               BSTR* cacheFileName) {
  return NoThrow([&] {
    return net::GetCacheInfo(transfer_, url, parentWnd, bCacheFileExists, bCacheFileCurrent,
                             cacheFileName);
  });
}

HRESULT STDMETHODCALLTYPE CQXNet::get_IsConnected(VARIANT_BOOL* pVal) {
  return NoThrow([&] { return net::IsConnected(transfer_, pVal); });
}

HRESULT STDMETHODCALLTYPE CQXNet::CanConnect(BSTR url, VARIANT_BOOL* retVal) {
  return NoThrow([&] { return net::CanConnect(transfer_, url, retVal); });
}

HRESULT STDMETHODCALLTYPE CQXNet::UploadFileForm(BSTR fileName, BSTR url, LONG parentWnd,
                                                 BSTR formFieldName, VARIANT_BOOL displayBrowser) {
  return NoThrow([&] {
    return net::UploadFileForm(transfer_, fileName, url, parentWnd, formFieldName, displayBrowser);
  });
}

HRESULT STDMETHODCALLTYPE CQXNet::AttemptConnect(BSTR host, LONG port, LONG timeoutMilliseconds,
                                                 VARIANT_BOOL* retVal) {
  return NoThrow(
      [&] { return net::AttemptConnect(transfer_, host, port, timeoutMilliseconds, retVal); });
}

}  // namespace qx

QX_OBJECT_ENTRY(CLSID_QXNet, qx::CQXNet)

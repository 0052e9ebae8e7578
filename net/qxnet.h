// CQXNet: the QXNet class, the library's internet-transfer object.
//
// Public members (_QXNet and _QXNetConnect) and the internal chain every
// transfer runs through: URL check (net/url), on-line probe, session,
// per-host connection cache, request, send with the status table and
// authentication (net/request_pipeline), body download into the internet
// cache (net/download), cache queries (net/cache), connectivity checks
// (net/connectivity) and uploads (net/upload). Every step writes its trace
// line with WriteLog, reports progress through OnProgress and fails by
// throwing CQXNetException; the public member catches it and reports its
// text with E_FAIL.
//
// The object lives in the caller's apartment: one call at a time, no locks.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>

#include "net/internet_service/internet_service.h"
#include "net/request_pipeline/internet_handle.h"
#include "net/request_pipeline/qxnet_exception.h"
#include "net/url/url_parts.h"
#include "qxnet/qxnetlib.h"
#include "server/event_source/qxnet_event_source.h"
#include "server/object_frame/dispatch_object.h"

namespace qx {

class CQXNet final : public DispatchObject<CQXNet, _QXNet, SingleThreaded, _QXNetConnect,
                                           QXNetEventSource> {
 public:
  static constexpr const CLSID& kClsid = CLSID_QXNet;
  // Every error record of this class carries the null interface identifier.
  static const IID& ErrorInterface() { return IID_NULL; }

  CQXNet();
  ~CQXNet() override;

  // ------------------------------------------------------------ _QXNet
  // net/download/retrieve_file.cpp
  HRESULT STDMETHODCALLTYPE RetrieveFile(BSTR url, LONG parentWnd, BSTR* fileName) override;
  // net/upload
  HRESULT STDMETHODCALLTYPE UploadFile(BSTR fileName, BSTR url, LONG parentWnd,
                                       BSTR* returnFile) override;
  // net/connectivity
  HRESULT STDMETHODCALLTYPE ValidateUrl(BSTR url) override;
  // net/cache
  HRESULT STDMETHODCALLTYPE GetCacheInfo(BSTR url, LONG parentWnd,
                                         VARIANT_BOOL* bCacheFileExists,
                                         VARIANT_BOOL* bCacheFileCurrent,
                                         BSTR* cacheFileName) override;
  // net/connectivity
  HRESULT STDMETHODCALLTYPE get_IsConnected(VARIANT_BOOL* pVal) override;
  HRESULT STDMETHODCALLTYPE CanConnect(BSTR url, VARIANT_BOOL* retVal) override;
  // net/upload
  HRESULT STDMETHODCALLTYPE UploadFileForm(BSTR fileName, BSTR url, LONG parentWnd,
                                           BSTR formFieldName,
                                           VARIANT_BOOL displayBrowser) override;

  // ------------------------------------------------------------ _QXNetConnect
  // net/connectivity
  HRESULT STDMETHODCALLTYPE AttemptConnect(BSTR host, LONG port, LONG timeoutMilliseconds,
                                           VARIANT_BOOL* retVal) override;

  // ------------------------------------------------------------ internal chain
  // Used only inside the object (and by its own member files); public so that
  // the member files of every folder reach them the same way.

  using UrlParts = net::UrlParts;
  using CQXNetException = net::CQXNetException;
  using HINTERNET = inet::HINTERNET;

  // ---- error reporting at a public member's boundary (net/qxnet.cpp)
  // "Invalid parameter" with E_INVALIDARG.
  HRESULT ReportInvalidParameter() const;
  // The exception's text with E_FAIL.
  HRESULT ReportFailure(const CQXNetException& failure) const;

  // ---- trace (net/qxnet.cpp): one entry of the trace log.
  static void Trace(std::u16string_view message);

  // ---- URL record and on-line probes (net/url)
  // True when the user has set the system off line.
  bool IsGlobalOffline();
  // True when a connection to the internet exists or could be made; with
  // showProgress advances the progress with "Attempting to connect to the
  // internet" first (may throw "Canceled").
  bool AttemptInternetConnection(bool showProgress);
  // Fills `parts`; throws "Invalid URL.\n    <url>" unless it is http(s).
  void ValidateUrl2(std::u16string_view url, UrlParts& parts);
  // Canonicalises and cracks `url` into `parts`: true when cracking
  // succeeded; throws "Unrecognized scheme in url" when the URL cannot be
  // canonicalised at all.
  bool ParseUrl(UrlParts& parts, std::u16string_view url);

  // ---- session and request pipeline (net/request_pipeline)
  // Opens a session into `session`; throws "Unable to open Internet access...".
  void OpenInternetAccess(HINTERNET& session);
  // Sets `connection` to the cached connection of the URL's host and port,
  // or opens one with `session` and caches it. The object owns every cached
  // connection; callers never close it.
  void OpenInternetConnection(HINTERNET session, HINTERNET& connection, const UrlParts& parts);
  // Opens a request for the URL path. verb: nullptr (GET), u"HEAD", u"POST".
  // flags -1: the default flags of the verb (plus the secure flag for https).
  void OpenHttpRequest(HINTERNET connection, const UrlParts& parts, const char16_t* verb,
                       net::InternetHandleOwner& request, int32_t flags = -1);
  // Sends, authenticates on 401/407, resends on request (at most
  // kMaxResendsInARow in a row) and judges the status: returns on 200 (or 0),
  // throws the status table's message otherwise. A range request
  // (`rangeRequest`) also returns on 206 and 416, which its caller judges.
  void SendHttpRequest(HINTERNET request, const char16_t* headers, const void* body,
                       DWORD bodyLength, HWND parent, bool rangeRequest = false);
  static constexpr int kMaxResendsInARow = 10;
  // Appends the text of the thread's last error (and traces it); appends
  // nothing when there is none.
  void GetErrorMessage(std::u16string& message);
  // Reports a progress step to every sink; throws "Canceled" when a sink set
  // the cancel flag to -1. Values above 100 are stored and reported as 80.
  void OnProgress(std::u16string_view title, int32_t progress);
  // Adds 1 to the progress counter and reports it with `title`.
  void AdvanceProgress(std::u16string_view title);
  int32_t Progress() const { return progress_; }
  // The object's session, opened by the first download or upload.
  HINTERNET& Session() { return session_; }

  // ---- download (net/download)
  // Reads the response body into `outputPath` (none when empty). A failure
  // or cancel deletes the output file and throws. With `resumeFrom`, the
  // body continues the file's first `resumeFrom` bytes (a 206 answer); with
  // `keepWhenCut`, a body cut short by the network leaves the file as far
  // as it got, for a later range request.
  void DownloadHttpData(HINTERNET request, const std::u16string& outputPath, bool querySize,
                        bool showProgress, uint64_t resumeFrom = 0, bool keepWhenCut = false);
  // A new internet-cache file for the URL; throws when none can be made.
  void GetCacheNewFileName(const UrlParts& parts, std::u16string& path);
  // Commits the cache file under the canonical URL; never throws.
  void CommitCacheEntry(const UrlParts& parts, const std::u16string& path,
                        inet::FILETIME lastModified);

  // ---- internet cache (net/cache)
  bool UseInternetCache();
  bool GetCachedFileExists(const UrlParts& parts);
  bool IsCacheCurrent(const UrlParts& parts, HWND parent);
  bool GetModifiedTime(const UrlParts& parts, SYSTEMTIME& modified, HWND parent);
  void GetCachedFile(const UrlParts& parts, std::u16string& path);
  bool ValidateCacheEntry(const UrlParts& parts);
  void DeleteCacheEntry(const UrlParts& parts);

 private:
  // Connections are cached per host name and port: two ports of one host
  // are two servers.
  using ConnectionKey = std::pair<std::u16string, inet::INTERNET_PORT>;
  std::map<ConnectionKey, HINTERNET> connections_;
  HINTERNET session_ = nullptr;
  int32_t progress_ = 0;
};

// A window handle passed as a 32-bit value.
inline HWND WindowFromLong(LONG value) {
  return reinterpret_cast<HWND>(static_cast<intptr_t>(value));
}

}  // namespace qx

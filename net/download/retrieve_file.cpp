// RetrieveFile: downloads an http(s) URL into a new internet-cache file,
// copies it to the caller's destination (or hands back the cache file's
// path), commits the cache entry with the server's modification time and
// fires End.
#include <unistd.h>

#include <cerrno>
#include <new>

#include "net/download/output_file.h"
#include "net/qxnet.h"
#include "net/request_pipeline/trace_text.h"
#include "platform/com/text.h"

namespace qx {

namespace {

// The response's Last-Modified time, else the present time.
inet::FILETIME LastModifiedOf(inet::HINTERNET request) {
  inet::FILETIME result = inet::GetSystemTimeAsFileTime();
  SYSTEMTIME modified{};
  DWORD size = sizeof(modified);
  inet::FILETIME converted{};
  if (inet::HttpQueryInfoW(request,
                           inet::HTTP_QUERY_LAST_MODIFIED | inet::HTTP_QUERY_FLAG_SYSTEMTIME,
                           &modified, &size, nullptr) &&
      inet::SystemTimeToFileTime(&modified, &converted)) {
    result = converted;
  }
  return result;
}

}  // namespace

HRESULT STDMETHODCALLTYPE CQXNet::RetrieveFile(BSTR url, LONG parentWnd, BSTR* fileName) {
  return NoThrow([&]() -> HRESULT {
    Trace(u"CQXNet::RetrieveFile:(" + std::u16string(BstrView(url)) + u"," +
          net::DecimalText(parentWnd) + u")");
    if (!fileName || BstrView(url).empty()) {
      Trace(u"CQXNet::RetrieveFile return:Invalid parameter");
      return ReportInvalidParameter();
    }
    std::u16string destination(BstrView(*fileName));
    const std::u16string urlText(BstrView(url));

    net::InternetHandleOwner request;
    std::u16string cachePath;
    bool committed = false;
    // A cache file that is never committed is removed again.
    auto discardCacheFile = [&] {
      if (!cachePath.empty() && !committed) ::unlink(Utf16ToUtf8(cachePath).c_str());
    };

    try {
      OnProgress(u"Loading library functions", 1);
      UrlParts parts;
      ValidateUrl2(urlText, parts);
      if (!AttemptInternetConnection(true)) {
        throw CQXNetException(u"You must be connected to the internet to retrieve the file");
      }
      if (!session_) OpenInternetAccess(session_);
      HINTERNET connection = nullptr;
      OpenInternetConnection(session_, connection, parts);
      OpenHttpRequest(connection, parts, nullptr, request, -1);
      SendHttpRequest(request.get(), nullptr, nullptr, 0, WindowFromLong(parentWnd));
      GetCacheNewFileName(parts, cachePath);
      DownloadHttpData(request.get(), cachePath, true, true);
      const inet::FILETIME lastModified = LastModifiedOf(request.get());

      if (destination.empty()) {
        destination = cachePath;
      } else if (!net::CopyFileReplacing(Utf16ToUtf8(cachePath), Utf16ToUtf8(destination))) {
        // The caller would otherwise go on with a file that is not there.
        throw CQXNetException(u"Unable to copy file:\n   " + destination + u"\n" +
                              net::ErrnoText(errno));
      }
      BSTR replacement = SysAllocStringLen(destination.data(),
                                           static_cast<UINT>(destination.size()));
      if (!replacement) throw std::bad_alloc();
      SysFreeString(*fileName);
      *fileName = replacement;
      OnProgress(u"Download complete", 100);

      request.Close();
      CommitCacheEntry(parts, cachePath, lastModified);
      committed = true;
      Fire_End();
      Trace(u"CQXNet::RetrieveFile return");
      return S_OK;
    } catch (const CQXNetException& failure) {
      Fire_End();
      Trace(u"CQXNet::RetrieveFile: " + failure.Message());
      request.Close();
      discardCacheFile();
      return ReportFailure(failure);
    } catch (const std::bad_alloc&) {
      Fire_End();
      request.Close();
      discardCacheFile();
      return E_OUTOFMEMORY;
    }
  });
}

}  // namespace qx

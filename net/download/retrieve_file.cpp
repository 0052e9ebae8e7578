// RetrieveFile: downloads an http(s) URL into a new internet-cache file,
// copies it to the caller's destination (or hands back the cache file's
// path), commits the cache entry with the server's modification time and
// fires End. A download cut short by the network is kept as a partial
// download when the server can continue it, and the next download of the
// URL asks only for the rest.
#include "net/download/retrieve_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>

#include "net/download/cache_entry.h"
#include "net/download/download_http_data.h"
#include "net/download/output_file.h"
#include "net/download/range_resume.h"
#include "net/internet_service/url_cache_admin.h"
#include "net/replace_string.h"
#include "net/request_pipeline/internet_handle.h"
#include "net/request_pipeline/open_connection.h"
#include "net/request_pipeline/open_http_request.h"
#include "net/request_pipeline/send_http_request.h"
#include "net/request_pipeline/trace_text.h"
#include "net/trace_log/trace_log.h"
#include "net/url/online_probe.h"
#include "net/url/parse_url.h"
#include "qxnet/text.h"

namespace qx::net {

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

// The bytes a partial download's file really holds (a process killed while
// writing may have left fewer than it received).
uint64_t BytesHeld(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 ? static_cast<uint64_t>(info.st_size) : 0;
}

bool FileExists(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0;
}

}  // namespace

HRESULT RetrieveFile(TransferState& transfer, BSTR url, LONG parentWnd, BSTR* fileName) {
  WriteLog(u"CQXNet::RetrieveFile:(" + std::u16string(BstrView(url)) + u"," +
           DecimalText(parentWnd) + u")");
  if (!fileName || BstrView(url).empty()) {
    WriteLog(u"CQXNet::RetrieveFile return:Invalid parameter");
    return transfer.ReportInvalidParameter();
  }
  std::u16string destination(BstrView(*fileName));
  const std::u16string urlText(BstrView(url));

  InternetHandleOwner request;
  std::u16string cachePath;
  std::string urlKey;                            // the canonical URL, keying the cache
  std::optional<inet::PartialDownload> partial;  // the download this call may leave to continue
  bool partialRecorded = false;                  // whether the index holds `partial`
  bool inBody = false;
  bool bodyComplete = false;
  bool committed = false;

  // On failure: a partial download stays when the network cut it short
  // (before any answer, or in the body); everything else this call made
  // goes, and all of it with `removeAll` (a cancel, an unexpected failure).
  auto cleanUp = [&](bool removeAll) {
    bool keep = false;
    if (partial && !removeAll && !bodyComplete) {
      keep = inBody ? FileExists(partial->path) : ResponseStatus(request.get()) == 0;
    }
    request.Close();
    if (keep && !partialRecorded) keep = inet::RecordPartialDownload(urlKey, *partial);
    if (partial && partialRecorded && !keep) inet::DropPartialDownload(urlKey, partial->path);
    if (!cachePath.empty() && !committed && !keep) ::unlink(Utf16ToUtf8(cachePath).c_str());
  };

  try {
    transfer.OnProgress(u"Loading library functions", 1);
    UrlParts parts;
    ValidateUrl2(urlText, parts);
    if (!AttemptInternetConnection(transfer, true)) {
      throw CQXNetException(u"You must be connected to the internet to retrieve the file");
    }
    if (!transfer.Session()) OpenInternetAccess(transfer, transfer.Session());
    inet::HINTERNET connection = nullptr;
    OpenInternetConnection(transfer, transfer.Session(), connection, parts);
    OpenHttpRequest(transfer, connection, parts, nullptr, request, -1);
    urlKey = Utf16ToUtf8(parts.canonicalUrl);
    const HWND parent = WindowFromLong(parentWnd);

    uint64_t resumeFrom = 0;
    if (inet::PartialDownload held; inet::FindPartialDownload(urlKey, held)) {
      resumeFrom = BytesHeld(held.path);
      if (resumeFrom > 0 && resumeFrom < held.total) {
        partial = held;
        partialRecorded = true;
      } else {
        inet::DropPartialDownload(urlKey, held.path);
        resumeFrom = 0;
      }
    }
    if (partial) {
      const std::u16string headers = RangeRequestHeaders(resumeFrom, partial->validator);
      SendHttpRequest(transfer, request.get(), headers.c_str(), nullptr, 0, parent, true);
      const uint32_t status = ResponseStatus(request.get());
      if (status == 206 && RangeAnswerContinues(request.get(), resumeFrom, *partial)) {
        cachePath = Utf8ToUtf16(partial->path);
        WriteLog(u"CQXNet::RetrieveFile: continuing at byte " +
                 DecimalText(static_cast<long long>(resumeFrom)));
      } else {
        // Anything but the rest of the same body starts over from byte 0
        // in a new file; a 200 already carries the whole body.
        WriteLog(u"CQXNet::RetrieveFile: range not continued (status " +
                 DecimalText(static_cast<long long>(status)) + u"), starting over");
        inet::DropPartialDownload(urlKey, partial->path);
        partial.reset();
        partialRecorded = false;
        resumeFrom = 0;
        if (status != 200) {
          request.Close();
          OpenHttpRequest(transfer, connection, parts, nullptr, request, -1);
          SendHttpRequest(transfer, request.get(), nullptr, nullptr, 0, parent);
        }
      }
    } else {
      SendHttpRequest(transfer, request.get(), nullptr, nullptr, 0, parent);
    }
    if (cachePath.empty()) {
      GetCacheNewFileName(parts, cachePath);
      // A long body is recorded before it starts, so that even a killed
      // process leaves a download the next one can continue; a short one
      // when the network cuts it short.
      partial = ResumableBody(request.get(), Utf16ToUtf8(cachePath));
      if (partial && RecordedAtStart(*partial)) {
        partialRecorded = inet::RecordPartialDownload(urlKey, *partial);
        if (!partialRecorded) partial.reset();
      }
    }
    inBody = true;
    DownloadHttpData(transfer, request.get(), cachePath, true, true, resumeFrom,
                     partial.has_value());
    bodyComplete = true;
    const inet::FILETIME lastModified = LastModifiedOf(request.get());

    if (destination.empty()) {
      destination = cachePath;
    } else if (!CopyFileReplacing(Utf16ToUtf8(cachePath), Utf16ToUtf8(destination))) {
      // The caller would otherwise go on with a file that is not there.
      throw CQXNetException(u"Unable to copy file:\n   " + destination + u"\n" + ErrnoText(errno));
    }
    ReplaceString(fileName, destination);
    transfer.OnProgress(u"Download complete", 100);

    request.Close();
    CommitCacheEntry(parts, cachePath, lastModified);
    committed = true;
    transfer.FireEnd();
    WriteLog(u"CQXNet::RetrieveFile return");
    return S_OK;
  } catch (const CQXNetException& failure) {
    cleanUp(failure.Message() == u"Canceled");
    transfer.FireEnd();
    WriteLog(u"CQXNet::RetrieveFile: " + failure.Message());
    return transfer.ReportFailure(failure);
  } catch (...) {
    // Whatever else went wrong (no memory, a sink's own exception): the
    // same clean end, and the code for it at the boundary.
    cleanUp(true);
    transfer.FireEnd();
    throw;
  }
}

}  // namespace qx::net

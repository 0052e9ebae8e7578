// GetModifiedTime: asks the server for a URL's Last-Modified time with a
// HEAD request, through a session of its own that is closed again when the
// call ends. A server that cannot be reached or refuses the request answers
// false; a response without the time is a failure.
#include "net/cache/modified_time.h"

#include "net/download/download_http_data.h"
#include "net/request_pipeline/error_message.h"
#include "net/request_pipeline/internet_handle.h"
#include "net/request_pipeline/open_connection.h"
#include "net/request_pipeline/open_http_request.h"
#include "net/request_pipeline/send_http_request.h"
#include "net/trace_log/trace_log.h"
#include "net/url/online_probe.h"

namespace qx::net {

namespace {

// Stands for "the request could not be sent" inside GetModifiedTime.
constexpr std::u16string_view kNotConnected = u"-1";

}  // namespace

bool GetModifiedTime(TransferState& transfer, const UrlParts& parts, SYSTEMTIME& modified,
                     HWND parent) {
  WriteLog(u"CQXNet::GetModifiedTime(" + parts.canonicalUrl + u")");
  // Declared before the request so that the request is closed first. A
  // connection opened under this session joins the object's connection
  // cache, which keeps what it needs of the session alive.
  InternetHandleOwner session;
  InternetHandleOwner request;
  try {
    if (!AttemptInternetConnection(transfer, true)) {
      throw CQXNetException(u"You must be connected to the internet to retrieve the file");
    }
    OpenInternetAccess(transfer, session.Put());
    inet::HINTERNET connection = nullptr;
    OpenInternetConnection(transfer, session.get(), connection, parts);
    OpenHttpRequest(transfer, connection, parts, u"HEAD", request, -1);
    try {
      SendHttpRequest(transfer, request.get(), nullptr, nullptr, 0, parent);
    } catch (const CQXNetException&) {
      WriteLog(u"CQXNet::GetModifiedTime return : not connected");
      throw CQXNetException(std::u16string(kNotConnected));
    }
    DWORD size = sizeof(modified);
    if (!inet::HttpQueryInfoW(request.get(),
                              inet::HTTP_QUERY_LAST_MODIFIED | inet::HTTP_QUERY_FLAG_SYSTEMTIME,
                              &modified, &size, nullptr)) {
      std::u16string message = u"Unable to get modified time\n    " + parts.canonicalUrl + u"\n";
      GetErrorMessage(message);
      WriteLog(u"CQXNet::GetModifiedTime:" + message);
      throw CQXNetException(message);
    }
    DownloadHttpData(transfer, request.get(), std::u16string(), false, false);
    request.Close();
    WriteLog(u"CQXNet::GetModifiedTime return");
    return true;
  } catch (const CQXNetException& failure) {
    WriteLog(u"CQXNet::GetModifiedTime:" + failure.Message());
    request.Close();
    if (failure.Message() == kNotConnected) {
      WriteLog(u"CQXNet::GetModifiedTime return : not connected to server");
      return false;
    }
    throw CQXNetException(failure.Message());
  } catch (...) {
    WriteLog(u"CQXNet::GetModifiedTime");
    request.Close();
    throw CQXNetException(u"Unable to download headers");
  }
}

}  // namespace qx::net

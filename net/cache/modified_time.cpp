// GetModifiedTime: asks the server for a URL's Last-Modified time with a
// HEAD request, through a session of its own that is closed again when the
// call ends. A server that cannot be reached or refuses the request answers
// false; a response without the time is a failure.
#include <new>

#include "net/qxnet.h"

namespace qx {

namespace {

// Stands for "the request could not be sent" inside GetModifiedTime.
constexpr std::u16string_view kNotConnected = u"-1";

}  // namespace

bool CQXNet::GetModifiedTime(const UrlParts& parts, SYSTEMTIME& modified, HWND parent) {
  Trace(u"CQXNet::GetModifiedTime(" + parts.canonicalUrl + u")");
  // Declared before the request so that the request is closed first. A
  // connection opened under this session joins the object's connection
  // cache, which keeps what it needs of the session alive.
  net::InternetHandleOwner session;
  net::InternetHandleOwner request;
  try {
    if (!AttemptInternetConnection(true)) {
      throw CQXNetException(u"You must be connected to the internet to retrieve the file");
    }
    OpenInternetAccess(session.Put());
    HINTERNET connection = nullptr;
    OpenInternetConnection(session.get(), connection, parts);
    OpenHttpRequest(connection, parts, u"HEAD", request, -1);
    try {
      SendHttpRequest(request.get(), nullptr, nullptr, 0, parent);
    } catch (const CQXNetException&) {
      Trace(u"CQXNet::GetModifiedTime return : not connected");
      throw CQXNetException(std::u16string(kNotConnected));
    }
    DWORD size = sizeof(modified);
    if (!inet::HttpQueryInfoW(request.get(),
                              inet::HTTP_QUERY_LAST_MODIFIED | inet::HTTP_QUERY_FLAG_SYSTEMTIME,
                              &modified, &size, nullptr)) {
      std::u16string message = u"Unable to get modified time\n    " + parts.canonicalUrl + u"\n";
      GetErrorMessage(message);
      Trace(u"CQXNet::GetModifiedTime:" + message);
      throw CQXNetException(message);
    }
    DownloadHttpData(request.get(), std::u16string(), false, false);
    request.Close();
    Trace(u"CQXNet::GetModifiedTime return");
    return true;
  } catch (const CQXNetException& failure) {
    Trace(u"CQXNet::GetModifiedTime:" + failure.Message());
    request.Close();
    if (failure.Message() == kNotConnected) {
      Trace(u"CQXNet::GetModifiedTime return : not connected to server");
      return false;
    }
    throw CQXNetException(failure.Message());
  } catch (...) {
    Trace(u"CQXNet::GetModifiedTime");
    request.Close();
    throw CQXNetException(u"Unable to download headers");
  }
}

}  // namespace qx

// The object's session and its per-host connection cache.
#include "net/request_pipeline/open_connection.h"

#include "net/request_pipeline/error_message.h"
#include "net/trace_log/trace_log.h"

namespace qx::net {

namespace {
constexpr char16_t kUserAgent[] = u"Corvane 11.0.6.5036";
}

void OpenInternetAccess(TransferState& transfer, inet::HINTERNET& session) {
  WriteLog(u"CQXNet::OpenInternetAccess");
  transfer.AdvanceProgress(u"Opening internet access");
  session =
      inet::InternetOpenW(kUserAgent, inet::INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  if (session) {
    WriteLog(u"CQXNet::OpenInternetAccess return");
    return;
  }
  std::u16string message = u"Unable to open Internet access.\n   ";
  GetErrorMessage(message);
  WriteLog(u"CQXNet::OpenInternetAccess : " + message);
  throw CQXNetException(message);
}

void OpenInternetConnection(TransferState& transfer, inet::HINTERNET session,
                            inet::HINTERNET& connection, const UrlParts& parts) {
  WriteLog(u"CQXNet::OpenInternetConnection");
  transfer.AdvanceProgress(u"Opening connection to server");
  connection = nullptr;
  if (inet::HINTERNET cached = transfer.CachedConnection(parts.hostName, parts.port)) {
    connection = cached;
  } else {
    connection = inet::InternetConnectW(session, parts.hostName.c_str(), parts.port, nullptr,
                                        nullptr, inet::INTERNET_SERVICE_HTTP, 0, 0);
    if (!connection) {
      std::u16string message = u"Unable to establish Internet connection\n";
      GetErrorMessage(message);
      WriteLog(u"CQXNet::OpenInternetConnection:" + message);
      throw CQXNetException(message);
    }
    transfer.CacheConnection(parts.hostName, parts.port, connection);
  }
  transfer.AdvanceProgress(u"Connection to server established");
  WriteLog(u"CQXNet::OpenInternetConnection return");
}

}  // namespace qx::net

// The object's session and its per-host connection cache.
#include "net/qxnet.h"

namespace qx {

namespace {
constexpr char16_t kUserAgent[] = u"Corvane 11.0.6.5036";
}

void CQXNet::OpenInternetAccess(HINTERNET& session) {
  Trace(u"CQXNet::OpenInternetAccess");
  AdvanceProgress(u"Opening internet access");
  session = inet::InternetOpenW(kUserAgent, inet::INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr,
                                0);
  if (session) {
    Trace(u"CQXNet::OpenInternetAccess return");
    return;
  }
  std::u16string message = u"Unable to open Internet access.\n   ";
  GetErrorMessage(message);
  Trace(u"CQXNet::OpenInternetAccess : " + message);
  throw CQXNetException(message);
}

void CQXNet::OpenInternetConnection(HINTERNET session, HINTERNET& connection,
                                    const UrlParts& parts) {
  Trace(u"CQXNet::OpenInternetConnection");
  AdvanceProgress(u"Opening connection to server");
  connection = nullptr;
  const ConnectionKey key{parts.hostName, parts.port};
  if (auto found = connections_.find(key); found != connections_.end() && found->second) {
    connection = found->second;
  } else {
    connection = inet::InternetConnectW(session, parts.hostName.c_str(), parts.port, nullptr,
                                        nullptr, inet::INTERNET_SERVICE_HTTP, 0, 0);
    if (!connection) {
      std::u16string message = u"Unable to establish Internet connection\n";
      GetErrorMessage(message);
      Trace(u"CQXNet::OpenInternetConnection:" + message);
      throw CQXNetException(message);
    }
    connections_[key] = connection;
  }
  AdvanceProgress(u"Connection to server established");
  Trace(u"CQXNet::OpenInternetConnection return");
}

}  // namespace qx

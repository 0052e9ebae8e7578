// CQXNet: construction and destruction, the trace entry point and the error
// reports of its public members.
#include "net/qxnet.h"

#include "net/trace_log/trace_log.h"
#include "server/module/object_map.h"

namespace qx {

CQXNet::CQXNet() {
  net::TrimLogFile();
  Trace(u"----------CQXNet()------------");
  net::LogSystemInfo();
}

CQXNet::~CQXNet() {
  Trace(u"----------~CQXNet()------------");
  // Cached connections in key order, then the session.
  for (auto& [key, connection] : connections_) {
    if (connection) inet::InternetCloseHandle(connection);
  }
  connections_.clear();
  if (session_) inet::InternetCloseHandle(session_);
  session_ = nullptr;
}

void CQXNet::Trace(std::u16string_view message) { net::WriteLog(message); }

HRESULT CQXNet::ReportInvalidParameter() const {
  return Error(u"Invalid parameter", E_INVALIDARG);
}

HRESULT CQXNet::ReportFailure(const CQXNetException& failure) const {
  return Error(failure.Message(), E_FAIL);
}

}  // namespace qx

QX_OBJECT_ENTRY(CLSID_QXNet, qx::CQXNet)

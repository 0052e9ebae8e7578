// The shared state of a QXNet object's transfers: progress reports to the
// sinks, the session and connection cache, and the object's error records.
#include "net/transfer_state.h"

#include "net/request_pipeline/trace_text.h"
#include "net/trace_log/trace_log.h"
#include "qxnet/bstr.h"
#include "server/object_frame/error_report.h"

namespace qx::net {

TransferState::TransferState(QXNetEventSource& events, const CLSID& errorClass,
                             const IID& errorInterface)
    : events_(events), errorClass_(errorClass), errorInterface_(errorInterface) {}

TransferState::~TransferState() {
  for (auto& [key, connection] : connections_) {
    if (connection) inet::InternetCloseHandle(connection);
  }
  connections_.clear();
  if (session_) inet::InternetCloseHandle(session_);
  session_ = nullptr;
}

void TransferState::OnProgress(std::u16string_view title, int32_t progress) {
  WriteLog(u"CQXNet::OnProgress(" + std::u16string(title) + u"," + DecimalText(progress) + u")");
  progress_ = progress > 100 ? 80 : progress;
  BStr text(title);
  VARIANT_BOOL cancel = VARIANT_FALSE;
  events_.Fire_OnProgress(text.Get(), progress_, &cancel);
  // Only the automation value true cancels; 1 and every other value go on.
  if (cancel == VARIANT_TRUE) throw CQXNetException(u"Canceled");
}

void TransferState::AdvanceProgress(std::u16string_view title) {
  // Wraps like the 32-bit counter it is instead of overflowing.
  OnProgress(title, static_cast<int32_t>(static_cast<uint32_t>(progress_) + 1u));
}

inet::HINTERNET TransferState::CachedConnection(const std::u16string& host,
                                                inet::INTERNET_PORT port) const {
  const auto found = connections_.find(ConnectionKey{host, port});
  return found == connections_.end() ? nullptr : found->second;
}

void TransferState::CacheConnection(const std::u16string& host, inet::INTERNET_PORT port,
                                    inet::HINTERNET connection) {
  connections_[ConnectionKey{host, port}] = connection;
}

HRESULT TransferState::ReportInvalidParameter() const {
  return ReportError(errorClass_, u"Invalid parameter", errorInterface_, E_INVALIDARG);
}

HRESULT TransferState::ReportFailure(const CQXNetException& failure) const {
  return ReportError(errorClass_, failure.Message(), errorInterface_, E_FAIL);
}

}  // namespace qx::net

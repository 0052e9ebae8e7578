// TransferState: what every transfer of one QXNet object shares — the
// object's internet session and its per-host connection cache, the progress
// counter, the event sinks that progress and End go to, and the object's
// identity in error records. CQXNet holds one; the steps of net/url,
// net/request_pipeline, net/download, net/cache, net/connectivity and
// net/upload work over it.
//
// Every step writes its trace line with WriteLog, reports progress through
// OnProgress and fails by throwing CQXNetException; the public member
// catches it and reports its text with ReportFailure.
//
// The object lives in the caller's apartment: one call at a time, no locks.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>

#include "net/internet_service/internet_service.h"
#include "net/request_pipeline/qxnet_exception.h"
#include "qxnet/qxnetlib.h"
#include "server/event_source/qxnet_event_source.h"

namespace qx::net {

class TransferState {
 public:
  // Progress and End go to the sinks of `events`; error records name
  // `errorClass` as their source and carry `errorInterface`.
  TransferState(QXNetEventSource& events, const CLSID& errorClass, const IID& errorInterface);
  // Closes the cached connections in key order, then the session.
  ~TransferState();
  TransferState(const TransferState&) = delete;
  TransferState& operator=(const TransferState&) = delete;

  // ---- progress and events
  // Reports a progress step to every sink; throws "Canceled" when a sink set
  // the cancel flag to -1. Values above 100 are stored and reported as 80.
  void OnProgress(std::u16string_view title, int32_t progress);
  // Adds 1 to the progress counter and reports it with `title`.
  void AdvanceProgress(std::u16string_view title);
  int32_t Progress() const { return progress_; }
  // End to every sink.
  void FireEnd() { events_.Fire_End(); }

  // ---- session and connection cache
  // The object's session, opened by the first download or upload; null
  // until then.
  inet::HINTERNET& Session() { return session_; }
  // The cached connection to `host` and `port`; null when there is none.
  inet::HINTERNET CachedConnection(const std::u16string& host, inet::INTERNET_PORT port) const;
  // Keeps `connection` as the one to `host` and `port`. The state owns it
  // from now on; callers never close it.
  void CacheConnection(const std::u16string& host, inet::INTERNET_PORT port,
                       inet::HINTERNET connection);

  // ---- error records at a public member's boundary
  // "Invalid parameter" with E_INVALIDARG.
  HRESULT ReportInvalidParameter() const;
  // The exception's text with E_FAIL.
  HRESULT ReportFailure(const CQXNetException& failure) const;

 private:
  QXNetEventSource& events_;
  const CLSID& errorClass_;
  const IID& errorInterface_;
  int32_t progress_ = 0;
  inet::HINTERNET session_ = nullptr;
  // Connections are cached per host name and port: two ports of one host
  // are two servers.
  using ConnectionKey = std::pair<std::u16string, inet::INTERNET_PORT>;
  std::map<ConnectionKey, inet::HINTERNET> connections_;
};

}  // namespace qx::net

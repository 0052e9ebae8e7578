// The objects behind HINTERNET handles and the table of live handles.
#pragma once

#include <curl/curl.h>

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "net/internet_service/internet_service.h"

namespace qx::inet {

class HttpTransfer;

// One connection pool: a curl multi handle whose connection cache serves
// every request of the session. The mutex serialises all work on it.
struct SessionState {
  SessionState();
  ~SessionState();
  SessionState(const SessionState&) = delete;
  SessionState& operator=(const SessionState&) = delete;

  std::recursive_mutex mutex;
  CURLM* multi = nullptr;
  std::string agent;
  bool direct = false;  // no proxy at all
  std::string proxy;    // explicit proxy, empty for the environment's
};

enum class HandleKind { Session, Connection, Request };

}  // namespace qx::inet

// The opaque handle type of the public header.
struct qx::inet::InternetHandle {
  explicit InternetHandle(HandleKind k) : kind(k) {}
  virtual ~InternetHandle() = default;
  HandleKind kind;
};

namespace qx::inet {

struct SessionHandle : InternetHandle {
  SessionHandle() : InternetHandle(HandleKind::Session) {}
  std::shared_ptr<SessionState> session;
};

struct ConnectionHandle : InternetHandle {
  ConnectionHandle() : InternetHandle(HandleKind::Connection) {}
  std::shared_ptr<SessionState> session;
  std::string host;  // as given; IPv6 literals with or without brackets
  INTERNET_PORT port = 0;
  std::optional<Credentials> credentials;
};

struct RequestHandle : InternetHandle {
  RequestHandle();
  ~RequestHandle() override;
  std::shared_ptr<SessionState> session;
  std::string host;
  INTERNET_PORT port = 0;
  std::string verb;    // "GET", "HEAD", "POST", ...
  std::string target;  // path and query
  std::string accept;  // Accept header value, empty for none
  DWORD flags = 0;
  std::optional<Credentials> serverCredentials;
  std::optional<Credentials> proxyCredentials;
  std::vector<Credentials> offered;        // by the credential provider, never twice
  std::unique_ptr<HttpTransfer> transfer;  // the last send
};

// Handles are identifiers, never addresses: each is issued once for the
// life of the process, so a closed handle stays refused even after another
// object takes its memory. The table and every call that found a handle
// share ownership of it, so a close on another thread cannot free an object
// while a call is using it.

// Registers a new handle; the table holds it until ReleaseHandle.
HINTERNET RegisterHandle(std::shared_ptr<InternetHandle> handle);
// The live handle of that kind, or nullptr (last error set).
std::shared_ptr<InternetHandle> FindHandle(HINTERNET handle, HandleKind kind);
template <typename T>
std::shared_ptr<T> FindHandle(HINTERNET handle, HandleKind kind) {
  return std::static_pointer_cast<T>(FindHandle(handle, kind));
}
// Removes a handle from the table; its object goes when the last call
// using it returns. False when it is not live.
bool ReleaseHandle(HINTERNET handle);

// The request's transfer once its final response headers have arrived;
// nullptr with the last error set before then. The caller holds the
// session's lock.
HttpTransfer* AnsweredTransfer(RequestHandle& request);

}  // namespace qx::inet

// Session, connection and request operations of the internet service.
#include <strings.h>

#include <algorithm>
#include <cstring>

#include "net/internet_service/credential_provider.h"
#include "net/internet_service/http_handles.h"
#include "net/internet_service/http_transfer.h"
#include "net/internet_service/last_error.h"
#include "net/internet_service/url_escape.h"
#include "qxnet/text.h"

namespace qx::inet {
namespace {

std::string ToUtf8(const char16_t* text) { return qx::Utf16ToUtf8(qx::WideView(text)); }

// Request target: escaped path and query, fragment dropped, leading "/".
std::string RequestTarget(const std::string& objectName) {
  std::string target = objectName.substr(0, objectName.find('#'));
  if (target.empty() || target.front() != '/') target.insert(target.begin(), '/');
  const size_t question = target.find('?');
  if (question == std::string::npos) return EscapeUnsafeUrlText(target, false);
  return EscapeUnsafeUrlText(target.substr(0, question), false) + "?" +
         EscapeUnsafeUrlText(target.substr(question + 1), true);
}

std::string UrlHost(const std::string& host) {
  if (host.find(':') != std::string::npos && host.front() != '[') return "[" + host + "]";
  return host;
}

std::vector<std::string> SplitHeaderLines(const std::u16string_view text) {
  std::vector<std::string> lines;
  const std::string utf8 = qx::Utf16ToUtf8(text);
  size_t start = 0;
  while (start <= utf8.size()) {
    size_t end = utf8.find('\n', start);
    if (end == std::string::npos) end = utf8.size();
    std::string line = utf8.substr(start, end - start);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    if (!line.empty() && line.find(':') != std::string::npos) lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

std::string ChallengeRealm(const std::string* challenge) {
  if (challenge == nullptr) return std::string();
  const size_t at = challenge->find("realm=");
  if (at == std::string::npos) return std::string();
  size_t begin = at + 6;
  if (begin < challenge->size() && (*challenge)[begin] == '"') {
    ++begin;
    const size_t end = challenge->find('"', begin);
    return challenge->substr(begin, end == std::string::npos ? std::string::npos : end - begin);
  }
  const size_t end = challenge->find_first_of(", ", begin);
  return challenge->substr(begin, end == std::string::npos ? std::string::npos : end - begin);
}

}  // namespace

HINTERNET InternetOpenW(const char16_t* agent, DWORD accessType, const char16_t* proxy,
                        const char16_t* /*proxyBypass*/, DWORD /*flags*/) {
  auto handle = std::make_unique<SessionHandle>();
  handle->session = std::make_shared<SessionState>();
  if (handle->session->multi == nullptr) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  handle->session->agent = ToUtf8(agent);
  handle->session->direct = accessType == INTERNET_OPEN_TYPE_DIRECT;
  if (accessType != INTERNET_OPEN_TYPE_DIRECT && accessType != INTERNET_OPEN_TYPE_PRECONFIG) {
    handle->session->proxy = ToUtf8(proxy);
  }
  return RegisterHandle(std::move(handle));
}

HINTERNET InternetConnectW(HINTERNET session, const char16_t* serverName, INTERNET_PORT serverPort,
                           const char16_t* userName, const char16_t* password, DWORD service,
                           DWORD /*flags*/, uintptr_t /*context*/) {
  auto owner = FindHandle<SessionHandle>(session, HandleKind::Session);
  if (owner == nullptr) return nullptr;
  if (serverName == nullptr || *serverName == u'\0' || service != INTERNET_SERVICE_HTTP) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto handle = std::make_unique<ConnectionHandle>();
  handle->session = owner->session;
  handle->host = ToUtf8(serverName);
  handle->port = serverPort;
  if (userName != nullptr && *userName != u'\0') {
    handle->credentials = Credentials{ToUtf8(userName), ToUtf8(password)};
  }
  return RegisterHandle(std::move(handle));
}

HINTERNET HttpOpenRequestW(HINTERNET connection, const char16_t* verb, const char16_t* objectName,
                           const char16_t* /*version*/, const char16_t* /*referrer*/,
                           const char16_t* const* acceptTypes, DWORD flags, uintptr_t /*context*/) {
  auto owner = FindHandle<ConnectionHandle>(connection, HandleKind::Connection);
  if (owner == nullptr) return nullptr;
  auto handle = std::make_unique<RequestHandle>();
  handle->session = owner->session;
  handle->host = owner->host;
  handle->port = owner->port;
  handle->verb = (verb == nullptr || *verb == u'\0') ? "GET" : ToUtf8(verb);
  for (char& c : handle->verb) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (handle->verb.find_first_of(" \t\r\n") != std::string::npos) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  handle->target = RequestTarget(ToUtf8(objectName));
  handle->flags = flags;
  handle->serverCredentials = owner->credentials;
  if (acceptTypes != nullptr) {
    for (const char16_t* const* type = acceptTypes; *type != nullptr; ++type) {
      if (!handle->accept.empty()) handle->accept += ", ";
      handle->accept += ToUtf8(*type);
    }
  }
  return RegisterHandle(std::move(handle));
}

BOOL HttpSendRequestW(HINTERNET request, const char16_t* headers, DWORD headersLength,
                      const void* optional, DWORD optionalLength) {
  auto owner = FindHandle<RequestHandle>(request, HandleKind::Request);
  if (owner == nullptr) return FALSE;
  std::lock_guard<std::recursive_mutex> lock(owner->session->mutex);

  const bool secure = (owner->flags & INTERNET_FLAG_SECURE) != 0;
  const INTERNET_PORT port =
      owner->port != INTERNET_DEFAULT_PORT
          ? owner->port
          : (secure ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT);
  TransferSpec spec;
  spec.url = std::string(secure ? "https://" : "http://") + UrlHost(owner->host) + ":" +
             std::to_string(port) + owner->target;
  spec.verb = owner->verb;
  spec.secure = secure;
  spec.followRedirects = (owner->flags & INTERNET_FLAG_NO_AUTO_REDIRECT) == 0;
  spec.request = owner.get();
  if (!owner->accept.empty()) spec.headerLines.push_back("Accept: " + owner->accept);
  if (headers != nullptr && headersLength != 0) {
    const std::u16string_view text = headersLength == static_cast<DWORD>(-1)
                                         ? qx::WideView(headers)
                                         : std::u16string_view(headers, headersLength);
    for (std::string& line : SplitHeaderLines(text)) spec.headerLines.push_back(std::move(line));
  }
  if (optional != nullptr && optionalLength != 0) {
    spec.body.assign(static_cast<const char*>(optional), optionalLength);
  }

  owner->transfer.reset();  // a resend drops the previous response
  owner->transfer = std::make_unique<HttpTransfer>(owner->session);
  return owner->transfer->Send(spec) ? TRUE : FALSE;
}

DWORD InternetErrorDlg(HWND parent, HINTERNET request, DWORD /*error*/, DWORD /*flags*/,
                       void** /*data*/) {
  auto owner = FindHandle<RequestHandle>(request, HandleKind::Request);
  if (owner == nullptr) return ERROR_INVALID_HANDLE;
  std::lock_guard<std::recursive_mutex> lock(owner->session->mutex);
  if (!owner->transfer || !owner->transfer->HeadersComplete()) return ERROR_SUCCESS;
  const ResponseHeaders& response = owner->transfer->Headers();
  if (response.status != 401 && response.status != 407) return ERROR_SUCCESS;

  CredentialQuery query;
  query.parent = parent;
  query.proxy = response.status == 407;
  query.host = query.proxy ? std::string() : owner->transfer->EffectiveHost();
  if (query.host.empty() && !query.proxy) query.host = owner->host;
  query.realm =
      ChallengeRealm(response.Find(query.proxy ? "Proxy-Authenticate" : "WWW-Authenticate"));
  query.attempt = static_cast<int>(owner->offered.size()) + 1;
  std::optional<Credentials> next = NextCredentials(query, owner->offered);
  if (!next) return ERROR_CANCELLED;
  (query.proxy ? owner->proxyCredentials : owner->serverCredentials) = std::move(next);
  return ERROR_INTERNET_FORCE_RETRY;
}

BOOL InternetQueryDataAvailable(HINTERNET request, DWORD* available, DWORD /*flags*/,
                                uintptr_t /*context*/) {
  auto owner = FindHandle<RequestHandle>(request, HandleKind::Request);
  if (owner == nullptr) return FALSE;
  if (available == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::lock_guard<std::recursive_mutex> lock(owner->session->mutex);
  HttpTransfer* transfer = AnsweredTransfer(*owner);
  if (transfer == nullptr || !transfer->WaitForData()) return FALSE;
  *available = static_cast<DWORD>(transfer->Buffered());
  return TRUE;
}

BOOL InternetReadFile(HINTERNET request, void* buffer, DWORD toRead, DWORD* read) {
  auto owner = FindHandle<RequestHandle>(request, HandleKind::Request);
  if (owner == nullptr) return FALSE;
  if (read == nullptr || (buffer == nullptr && toRead != 0)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *read = 0;
  std::lock_guard<std::recursive_mutex> lock(owner->session->mutex);
  HttpTransfer* transfer = AnsweredTransfer(*owner);
  if (transfer == nullptr) return FALSE;
  char* out = static_cast<char*>(buffer);
  while (*read < toRead) {
    if (!transfer->WaitForData()) {
      // Bytes already handed over stand; the failure shows on the next read.
      return *read > 0 ? TRUE : FALSE;
    }
    const size_t taken = transfer->Take(out + *read, toRead - *read);
    if (taken == 0) break;  // end of body
    *read += static_cast<DWORD>(taken);
  }
  return TRUE;
}

BOOL InternetReadFileInPlace(HINTERNET request, DWORD toRead, const BodyConsumer& consume,
                             DWORD* read) {
  auto owner = FindHandle<RequestHandle>(request, HandleKind::Request);
  if (owner == nullptr) return FALSE;
  if (read == nullptr || !consume) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *read = 0;
  std::lock_guard<std::recursive_mutex> lock(owner->session->mutex);
  HttpTransfer* transfer = AnsweredTransfer(*owner);
  if (transfer == nullptr) return FALSE;
  if (toRead == 0) return TRUE;
  if (!transfer->WaitForData()) return FALSE;
  const std::string_view bytes = transfer->Peek().substr(0, toRead);
  if (bytes.empty()) return TRUE;  // end of body
  const bool consumed = consume(bytes.data(), bytes.size());
  transfer->Discard(bytes.size());
  *read = static_cast<DWORD>(bytes.size());
  if (consumed) return TRUE;
  SetLastError(ERROR_CANCELLED);
  return FALSE;
}

BOOL InternetCloseHandle(HINTERNET handle) {
  if (!ReleaseHandle(handle)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

}  // namespace qx::inet

// ParseUrl and ValidateUrl2: every transfer's URL check. The URL is
// canonicalised by the internet service, then cracked into scheme, host,
// port and path; only http and https are accepted.
#include "net/url/parse_url.h"

#include <vector>

#include "net/request_pipeline/qxnet_exception.h"
#include "net/trace_log/trace_log.h"

namespace qx::net {

bool ParseUrl(UrlParts& parts, std::u16string_view url) {
  parts = UrlParts{};
  parts.givenUrl = std::u16string(url);
  parts.fileName = FileNameOfUrl(url);

  // The canonicaliser reads a zero-terminated text: a URL holding a zero
  // character is cut there, as the platform would.
  const std::u16string given(url.data(), url.size());
  char16_t probe[10] = {};
  DWORD length = 10;
  const BOOL fitted = inet::InternetCanonicalizeUrlW(given.c_str(), probe, &length, 0);
  if (!fitted && length == 0) throw CQXNetException(u"Unrecognized scheme in url");
  std::u16string canonical;
  if (fitted) {
    canonical.assign(probe, length);
  } else {
    if (inet::GetLastError() != inet::ERROR_INSUFFICIENT_BUFFER) return false;
    std::vector<char16_t> buffer(static_cast<size_t>(length) + 1);
    DWORD capacity = static_cast<DWORD>(buffer.size());
    if (!inet::InternetCanonicalizeUrlW(given.c_str(), buffer.data(), &capacity, 0)) {
      return false;
    }
    canonical.assign(buffer.data(), capacity);
  }
  parts.canonicalUrl = canonical;

  // Cracked with buffers of the service's own: host and path are copied.
  std::vector<char16_t> host(canonical.size() + 1);
  std::vector<char16_t> path(canonical.size() + 1);
  inet::URL_COMPONENTSW components{};
  components.dwStructSize = sizeof(components);
  components.lpszHostName = host.data();
  components.dwHostNameLength = static_cast<DWORD>(host.size());
  components.lpszUrlPath = path.data();
  components.dwUrlPathLength = static_cast<DWORD>(path.size());
  if (!inet::InternetCrackUrlW(canonical.c_str(), 0, 0, &components)) return false;
  parts.scheme = components.nScheme;
  parts.hostName.assign(host.data(), components.dwHostNameLength);
  parts.port = components.nPort;
  parts.urlPath.assign(path.data(), components.dwUrlPathLength);
  return true;
}

void ValidateUrl2(std::u16string_view url, UrlParts& parts) {
  WriteLog(u"CQXNet::ValidateUrl2:" + std::u16string(url));
  if (ParseUrl(parts, url) && parts.IsHttpOrHttps()) {
    WriteLog(u"CQXNet::ValidateUrl2 return: URL is valid");
    return;
  }
  throw CQXNetException(u"Invalid URL.\n    " + std::u16string(url));
}

}  // namespace qx::net

// libcurl results mapped to the internet service's error numbers, so callers
// can tell a timeout from a refused connection or a bad certificate.
#include "net/internet_service/curl_error_map.h"

#include <strings.h>

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "net/internet_service/curl_url_handle.h"
#include "net/internet_service/internet_service.h"

namespace qx::inet {
namespace {

// OpenSSL's X509_V_ERR_* values reported through CURLINFO_SSL_VERIFYRESULT.
constexpr long kCertNotYetValid = 9;
constexpr long kCertHasExpired = 10;
constexpr long kHostnameMismatch = 62;

DWORD CertificateError(CURL* easy, const char* detail) {
  // libcurl checks the host name itself, after the chain was accepted.
  if (detail != nullptr && std::strstr(detail, "host name") != nullptr) {
    return ERROR_INTERNET_SEC_CERT_CN_INVALID;
  }
  long verify = 0;
  if (easy != nullptr) curl_easy_getinfo(easy, CURLINFO_SSL_VERIFYRESULT, &verify);
  switch (verify) {
    case 0:  // the chain was fine: libcurl's own host name check refused it
    case kHostnameMismatch:
      return ERROR_INTERNET_SEC_CERT_CN_INVALID;
    case kCertNotYetValid:
    case kCertHasExpired:
      return ERROR_INTERNET_SEC_CERT_DATE_INVALID;
    case 2:   // unable to get issuer certificate
    case 18:  // self-signed certificate
    case 19:  // self-signed certificate in chain
    case 20:  // unable to get local issuer certificate
    case 21:  // unable to verify the first certificate
      return ERROR_INTERNET_INVALID_CA;
    default:
      return ERROR_INTERNET_SEC_INVALID_CERT;
  }
}

}  // namespace

DWORD InternetErrorFromCurl(CURLcode code, CURL* easy, const char* detail) {
  switch (code) {
    case CURLE_OK:
      return ERROR_SUCCESS;
    case CURLE_UNSUPPORTED_PROTOCOL:
      return ERROR_INTERNET_UNRECOGNIZED_SCHEME;
    case CURLE_URL_MALFORMAT:
      return ERROR_INTERNET_INVALID_URL;
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_RESOLVE_HOST:
      return ERROR_INTERNET_NAME_NOT_RESOLVED;
    case CURLE_COULDNT_CONNECT:
      return ERROR_INTERNET_CANNOT_CONNECT;
    case CURLE_WEIRD_SERVER_REPLY:
      return ERROR_HTTP_INVALID_SERVER_RESPONSE;
    case CURLE_OPERATION_TIMEDOUT:
      return ERROR_INTERNET_TIMEOUT;
    case CURLE_OUT_OF_MEMORY:
      return ERROR_NOT_ENOUGH_MEMORY;
    case CURLE_TOO_MANY_REDIRECTS:
      return ERROR_HTTP_REDIRECT_FAILED;
    case CURLE_ABORTED_BY_CALLBACK:
      return ERROR_INTERNET_OPERATION_CANCELLED;
    case CURLE_PARTIAL_FILE:
    case CURLE_SEND_ERROR:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
      return ERROR_INTERNET_CONNECTION_ABORTED;
    case CURLE_GOT_NOTHING:
    case CURLE_RECV_ERROR:
      return ERROR_INTERNET_CONNECTION_RESET;
    case CURLE_PEER_FAILED_VERIFICATION:
      return CertificateError(easy, detail);
    case CURLE_SSL_CERTPROBLEM:
      return ERROR_INTERNET_CLIENT_AUTH_CERT_NEEDED;
    case CURLE_SSL_CACERT_BADFILE:
      return ERROR_INTERNET_INVALID_CA;
    case CURLE_SSL_INVALIDCERTSTATUS:
      return ERROR_INTERNET_SEC_CERT_REV_FAILED;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_SHUTDOWN_FAILED:
      return ERROR_INTERNET_SECURITY_CHANNEL_ERROR;
    default:
      return ERROR_INTERNET_INTERNAL_ERROR;
  }
}

namespace {

// The host part of a proxy setting ("http://user:pw@host:3128", "host:3128").
std::string ProxyHost(const std::string& proxy) {
  CurlUrl parsed(curl_url());
  if (parsed &&
      curl_url_set(parsed.get(), CURLUPART_URL, proxy.c_str(), CURLU_GUESS_SCHEME) == CURLUE_OK) {
    if (auto host = GetUrlPart(parsed.get(), CURLUPART_HOST)) return *host;
  }
  return proxy;
}

// The proxy setting without its credentials, for messages.
std::string ProxyForDisplay(const std::string& proxy) {
  CurlUrl parsed(curl_url());
  if (parsed &&
      curl_url_set(parsed.get(), CURLUPART_URL, proxy.c_str(), CURLU_GUESS_SCHEME) == CURLUE_OK) {
    curl_url_set(parsed.get(), CURLUPART_USER, nullptr, 0);
    curl_url_set(parsed.get(), CURLUPART_PASSWORD, nullptr, 0);
    if (auto shown = GetUrlPart(parsed.get(), CURLUPART_URL)) return *shown;
  }
  return ProxyHost(proxy);
}

// True when libcurl's failure was about the proxy rather than the server:
// the proxy codes, or a connection failure whose text names the proxy host
// (libcurl names the host it tried to reach).
bool ProxyFailed(CURLcode code, const std::string& text, const FailureContext& context) {
  if (code == CURLE_COULDNT_RESOLVE_PROXY || code == CURLE_PROXY) return true;
  if (context.proxy.empty()) return false;
  switch (code) {
    case CURLE_COULDNT_CONNECT:
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_GOT_NOTHING: {
      const std::string host = ProxyHost(context.proxy);
      return !host.empty() && text.find(host) != std::string::npos;
    }
    default:
      return false;
  }
}

// The URL a refused redirect pointed at, when it left https for http.
bool RefusedDowngrade(CURLcode code, CURL* easy, const FailureContext& context,
                      std::string& target) {
  if (!context.secure || code != CURLE_UNSUPPORTED_PROTOCOL || easy == nullptr) return false;
  char* url = nullptr;
  if (curl_easy_getinfo(easy, CURLINFO_REDIRECT_URL, &url) != CURLE_OK || url == nullptr) {
    curl_easy_getinfo(easy, CURLINFO_EFFECTIVE_URL, &url);
  }
  if (url == nullptr || strncasecmp(url, "http:", 5) != 0) return false;
  target = url;
  return true;
}

}  // namespace

TransferFailure DescribeCurlFailure(CURLcode code, CURL* easy, const char* detail,
                                    const FailureContext& context) {
  const std::string text = detail != nullptr && *detail != '\0'
                               ? std::string(detail)
                               : std::string(curl_easy_strerror(code));
  std::string target;
  if (RefusedDowngrade(code, easy, context, target)) {
    return {ERROR_HTTP_REDIRECT_FAILED,
            "The redirect from https to " + target + " was refused as a downgrade to plain http"};
  }
  const DWORD mapped = InternetErrorFromCurl(code, easy, detail);
  if (ProxyFailed(code, text, context)) {
    const std::string proxy =
        context.proxy.empty() ? std::string("the proxy") : ProxyForDisplay(context.proxy);
    return {mapped, "The proxy " + proxy + " failed: " + text};
  }
  return {mapped, text};
}

std::string EnvironmentProxy(std::string_view scheme) {
  // libcurl reads http_proxy in lower case only, the others in either case.
  const std::string lower = std::string(scheme) + "_proxy";
  std::string upper = lower;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const char* names[] = {lower.c_str(), scheme == "http" ? nullptr : upper.c_str(), "all_proxy",
                         "ALL_PROXY"};
  for (const char* name : names) {
    if (name == nullptr) continue;
    if (const char* value = std::getenv(name); value != nullptr && *value != '\0') return value;
  }
  return std::string();
}

}  // namespace qx::inet

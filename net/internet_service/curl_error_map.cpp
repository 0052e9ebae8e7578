// libcurl results mapped to the internet service's error numbers, so callers
// can tell a timeout from a refused connection or a bad certificate.
#include "net/internet_service/curl_error_map.h"

#include <cstring>

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
    case CURLE_OK: return ERROR_SUCCESS;
    case CURLE_UNSUPPORTED_PROTOCOL: return ERROR_INTERNET_UNRECOGNIZED_SCHEME;
    case CURLE_URL_MALFORMAT: return ERROR_INTERNET_INVALID_URL;
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_RESOLVE_HOST: return ERROR_INTERNET_NAME_NOT_RESOLVED;
    case CURLE_COULDNT_CONNECT: return ERROR_INTERNET_CANNOT_CONNECT;
    case CURLE_WEIRD_SERVER_REPLY: return ERROR_HTTP_INVALID_SERVER_RESPONSE;
    case CURLE_OPERATION_TIMEDOUT: return ERROR_INTERNET_TIMEOUT;
    case CURLE_OUT_OF_MEMORY: return ERROR_NOT_ENOUGH_MEMORY;
    case CURLE_TOO_MANY_REDIRECTS: return ERROR_HTTP_REDIRECT_FAILED;
    case CURLE_ABORTED_BY_CALLBACK: return ERROR_INTERNET_OPERATION_CANCELLED;
    case CURLE_PARTIAL_FILE:
    case CURLE_SEND_ERROR:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM: return ERROR_INTERNET_CONNECTION_ABORTED;
    case CURLE_GOT_NOTHING:
    case CURLE_RECV_ERROR: return ERROR_INTERNET_CONNECTION_RESET;
    case CURLE_PEER_FAILED_VERIFICATION: return CertificateError(easy, detail);
    case CURLE_SSL_CERTPROBLEM: return ERROR_INTERNET_CLIENT_AUTH_CERT_NEEDED;
    case CURLE_SSL_CACERT_BADFILE: return ERROR_INTERNET_INVALID_CA;
    case CURLE_SSL_INVALIDCERTSTATUS: return ERROR_INTERNET_SEC_CERT_REV_FAILED;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_SHUTDOWN_FAILED: return ERROR_INTERNET_SECURITY_CHANNEL_ERROR;
    default: return ERROR_INTERNET_INTERNAL_ERROR;
  }
}

}  // namespace qx::inet

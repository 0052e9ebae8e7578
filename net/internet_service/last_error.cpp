// The calling thread's last-error code and its text.
#include "net/internet_service/last_error.h"

#include <cerrno>
#include <cstring>

#include "platform/com/text.h"

namespace qx::inet {
namespace {

struct LastError {
  DWORD code = 0;
  std::string detail;  // empty: use the fixed description
};

thread_local LastError t_last_error;

}  // namespace

DWORD GetLastError() { return t_last_error.code; }

void SetLastError(DWORD code) {
  t_last_error.code = code;
  t_last_error.detail.clear();
}

void SetLastErrorDetail(DWORD code, std::string detail) {
  t_last_error.code = code;
  t_last_error.detail = std::move(detail);
}

void SetLastErrorFromErrno(int err) {
  DWORD code;
  switch (err) {
    case ENOENT: code = ERROR_FILE_NOT_FOUND; break;
    case ENOTDIR: code = ERROR_PATH_NOT_FOUND; break;
    case EACCES:
    case EPERM:
    case EROFS: code = ERROR_ACCESS_DENIED; break;
    case ENOMEM: code = ERROR_NOT_ENOUGH_MEMORY; break;
    case ENOSPC:
    case EDQUOT: code = ERROR_DISK_FULL; break;
    case ENAMETOOLONG: code = ERROR_FILENAME_EXCED_RANGE; break;
    default: code = ERROR_INTERNET_INTERNAL_ERROR; break;
  }
  char buffer[256];
  const char* text = strerror_r(err, buffer, sizeof buffer);
  SetLastErrorDetail(code, text ? text : "");
}

std::string DescribeErrorCode(DWORD code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND: return "The system cannot find the file specified.";
    case ERROR_PATH_NOT_FOUND: return "The system cannot find the path specified.";
    case ERROR_ACCESS_DENIED: return "Access is denied.";
    case ERROR_INVALID_HANDLE: return "The handle is invalid.";
    case ERROR_NOT_ENOUGH_MEMORY: return "Not enough memory resources are available.";
    case ERROR_INVALID_PARAMETER: return "The parameter is incorrect.";
    case ERROR_SHARING_VIOLATION: return "The file is in use.";
    case ERROR_DISK_FULL: return "There is not enough space on the disk.";
    case ERROR_INSUFFICIENT_BUFFER: return "The data area passed to a system call is too small.";
    case ERROR_FILENAME_EXCED_RANGE: return "The filename or extension is too long.";
    case ERROR_CANCELLED: return "The operation was canceled by the user.";
    case ERROR_INTERNET_OUT_OF_HANDLES: return "No more handles could be generated.";
    case ERROR_INTERNET_TIMEOUT: return "The operation timed out.";
    case ERROR_INTERNET_INTERNAL_ERROR: return "An internal error occurred.";
    case ERROR_INTERNET_INVALID_URL: return "The URL is invalid.";
    case ERROR_INTERNET_UNRECOGNIZED_SCHEME: return "The URL scheme could not be recognized or is not supported.";
    case ERROR_INTERNET_NAME_NOT_RESOLVED: return "The server name or address could not be resolved.";
    case ERROR_INTERNET_INVALID_OPTION: return "The option is invalid.";
    case ERROR_INTERNET_INCORRECT_PASSWORD: return "The request needs a user name and password.";
    case ERROR_INTERNET_OPERATION_CANCELLED: return "The operation was canceled.";
    case ERROR_INTERNET_INCORRECT_HANDLE_TYPE: return "The type of handle supplied is incorrect for this operation.";
    case ERROR_INTERNET_INCORRECT_HANDLE_STATE: return "The request cannot be carried out in the handle's present state.";
    case ERROR_INTERNET_CANNOT_CONNECT: return "A connection with the server could not be established.";
    case ERROR_INTERNET_CONNECTION_ABORTED: return "The connection with the server was terminated abnormally.";
    case ERROR_INTERNET_CONNECTION_RESET: return "The connection with the server was reset.";
    case ERROR_INTERNET_FORCE_RETRY: return "The request must be sent again.";
    case ERROR_INTERNET_SEC_CERT_DATE_INVALID: return "The server's certificate has expired or is not yet valid.";
    case ERROR_INTERNET_SEC_CERT_CN_INVALID: return "The server's certificate does not match the host name.";
    case ERROR_INTERNET_CLIENT_AUTH_CERT_NEEDED: return "The server requests a client certificate.";
    case ERROR_INTERNET_INVALID_CA: return "The server's certificate was issued by an authority that is not trusted.";
    case ERROR_INTERNET_SEC_CERT_REV_FAILED: return "The revocation of the server's certificate could not be checked.";
    case ERROR_HTTP_HEADER_NOT_FOUND: return "The requested header could not be located.";
    case ERROR_HTTP_INVALID_SERVER_RESPONSE: return "The server response could not be parsed.";
    case ERROR_HTTP_INVALID_HEADER: return "The header is invalid.";
    case ERROR_HTTP_INVALID_QUERY_REQUEST: return "The request for header information is invalid.";
    case ERROR_HTTP_REDIRECT_FAILED: return "The redirection failed.";
    case ERROR_INTERNET_SECURITY_CHANNEL_ERROR: return "A secure channel with the server could not be established.";
    case ERROR_INTERNET_DISCONNECTED: return "The Internet connection has been lost.";
    case ERROR_INTERNET_SEC_INVALID_CERT: return "The server's certificate is invalid.";
    default: return std::string();
  }
}

std::u16string GetErrorMessage(DWORD code) {
  if (code == 0) return std::u16string();
  if (code == t_last_error.code && !t_last_error.detail.empty()) {
    return qx::Utf8ToUtf16(t_last_error.detail);
  }
  return qx::Utf8ToUtf16(DescribeErrorCode(code));
}

}  // namespace qx::inet

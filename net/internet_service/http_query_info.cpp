// HttpQueryInfoW: the final response's status and header fields as a
// number, a system time or text.
#include <curl/curl.h>

#include <cstring>

#include "net/internet_service/http_handles.h"
#include "net/internet_service/http_transfer.h"
#include "net/internet_service/last_error.h"
#include "qxnet/text.h"

namespace qx::inet {
namespace {

constexpr DWORD kLevelMask = 0x0000FFFF;
constexpr DWORD kModifierMask = 0xFFFF0000;

const char* FieldName(DWORD level) {
  switch (level) {
    case HTTP_QUERY_CONTENT_TYPE:
      return "Content-Type";
    case HTTP_QUERY_CONTENT_TRANSFER_ENCODING:
      return "Content-Transfer-Encoding";
    case HTTP_QUERY_CONTENT_LENGTH:
      return "Content-Length";
    case HTTP_QUERY_CONTENT_LANGUAGE:
      return "Content-Language";
    case HTTP_QUERY_DATE:
      return "Date";
    case HTTP_QUERY_EXPIRES:
      return "Expires";
    case HTTP_QUERY_LAST_MODIFIED:
      return "Last-Modified";
    case HTTP_QUERY_PRAGMA:
      return "Pragma";
    case HTTP_QUERY_CONNECTION:
      return "Connection";
    case HTTP_QUERY_CONTENT_ENCODING:
      return "Content-Encoding";
    case HTTP_QUERY_LOCATION:
      return "Location";
    case HTTP_QUERY_SERVER:
      return "Server";
    case HTTP_QUERY_WWW_AUTHENTICATE:
      return "WWW-Authenticate";
    case HTTP_QUERY_PROXY_AUTHENTICATE:
      return "Proxy-Authenticate";
    case HTTP_QUERY_ETAG:
      return "ETag";
    default:
      return nullptr;
  }
}

BOOL HandOutText(const std::string& value, void* buffer, DWORD* bufferLength) {
  const std::u16string wide = qx::Utf8ToUtf16(value);
  const DWORD needed = static_cast<DWORD>((wide.size() + 1) * sizeof(char16_t));
  if (buffer == nullptr || *bufferLength < needed) {
    *bufferLength = needed;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memcpy(buffer, wide.c_str(), needed);
  *bufferLength = needed - sizeof(char16_t);
  return TRUE;
}

BOOL HandOutNumber(const std::string& value, void* buffer, DWORD* bufferLength) {
  char* end = nullptr;
  const unsigned long long number = std::strtoull(value.c_str(), &end, 10);
  if (value.empty() || end == value.c_str() || number > 0xFFFFFFFFull) {
    SetLastError(ERROR_HTTP_INVALID_HEADER);
    return FALSE;
  }
  if (buffer == nullptr || *bufferLength < sizeof(DWORD)) {
    *bufferLength = sizeof(DWORD);
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  const DWORD result = static_cast<DWORD>(number);
  std::memcpy(buffer, &result, sizeof result);
  *bufferLength = sizeof result;
  return TRUE;
}

BOOL HandOutTime(const std::string& value, void* buffer, DWORD* bufferLength) {
  const time_t seconds = curl_getdate(value.c_str(), nullptr);
  if (seconds == static_cast<time_t>(-1)) {
    SetLastError(ERROR_HTTP_INVALID_HEADER);
    return FALSE;
  }
  if (buffer == nullptr || *bufferLength < sizeof(SYSTEMTIME)) {
    *bufferLength = sizeof(SYSTEMTIME);
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  // A date beyond what a SYSTEMTIME holds is as unreadable as a garbled one.
  FILETIME fileTime{};
  SYSTEMTIME result{};
  if (!UnixSecondsToFileTime(seconds, &fileTime) || !FileTimeToSystemTime(&fileTime, &result)) {
    SetLastError(ERROR_HTTP_INVALID_HEADER);
    return FALSE;
  }
  std::memcpy(buffer, &result, sizeof result);
  *bufferLength = sizeof result;
  return TRUE;
}

}  // namespace

BOOL HttpQueryInfoW(HINTERNET request, DWORD infoLevel, void* buffer, DWORD* bufferLength,
                    DWORD* index) {
  auto owner = FindHandle<RequestHandle>(request, HandleKind::Request);
  if (owner == nullptr) return FALSE;
  if (bufferLength == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::lock_guard<std::recursive_mutex> lock(owner->session->mutex);
  if (!owner->transfer || !owner->transfer->HeadersComplete()) {
    SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
    return FALSE;
  }
  const ResponseHeaders& headers = owner->transfer->Headers();
  const DWORD level = infoLevel & kLevelMask;
  const DWORD modifiers = infoLevel & kModifierMask;
  if ((modifiers & ~(HTTP_QUERY_FLAG_NUMBER | HTTP_QUERY_FLAG_SYSTEMTIME)) != 0 ||
      modifiers == (HTTP_QUERY_FLAG_NUMBER | HTTP_QUERY_FLAG_SYSTEMTIME)) {
    SetLastError(ERROR_HTTP_INVALID_QUERY_REQUEST);
    return FALSE;
  }

  std::string value;
  bool multiple = false;  // the field may occur several times
  switch (level) {
    case HTTP_QUERY_STATUS_CODE:
      value = std::to_string(headers.status);
      break;
    case HTTP_QUERY_STATUS_TEXT:
      value = headers.reason;
      break;
    case HTTP_QUERY_VERSION:
      value = headers.version;
      break;
    case HTTP_QUERY_RAW_HEADERS_CRLF:
      value = headers.raw;
      break;
    case HTTP_QUERY_CUSTOM: {
      if (buffer == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
      }
      // The header name, zero-terminated within the buffer.
      const size_t chars = *bufferLength / sizeof(char16_t);
      const auto* name = static_cast<const char16_t*>(buffer);
      size_t length = 0;
      while (length < chars && name[length] != u'\0') ++length;
      const std::string field = qx::Utf16ToUtf8(std::u16string_view(name, length));
      const std::string* found = headers.Find(field, index ? *index : 0);
      if (found == nullptr) {
        SetLastError(ERROR_HTTP_HEADER_NOT_FOUND);
        return FALSE;
      }
      value = *found;
      multiple = true;
      break;
    }
    default: {
      const char* field = FieldName(level);
      if (field == nullptr) {
        SetLastError(ERROR_HTTP_INVALID_QUERY_REQUEST);
        return FALSE;
      }
      const std::string* found = headers.Find(field, index ? *index : 0);
      if (found == nullptr) {
        SetLastError(ERROR_HTTP_HEADER_NOT_FOUND);
        return FALSE;
      }
      value = *found;
      multiple = true;
      break;
    }
  }

  BOOL ok;
  if (modifiers == HTTP_QUERY_FLAG_NUMBER) {
    ok = HandOutNumber(value, buffer, bufferLength);
  } else if (modifiers == HTTP_QUERY_FLAG_SYSTEMTIME) {
    ok = HandOutTime(value, buffer, bufferLength);
  } else {
    ok = HandOutText(value, buffer, bufferLength);
  }
  if (ok && multiple && index != nullptr) ++*index;
  return ok;
}

}  // namespace qx::inet

// The calling thread's last-error code and its text.
#include "net/internet_service/last_error.h"

#include <cerrno>
#include <cstring>

#include "qxnet/text.h"

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
    case ENOENT:
      code = ERROR_FILE_NOT_FOUND;
      break;
    case ENOTDIR:
      code = ERROR_PATH_NOT_FOUND;
      break;
    case EACCES:
    case EPERM:
    case EROFS:
      code = ERROR_ACCESS_DENIED;
      break;
    case ENOMEM:
      code = ERROR_NOT_ENOUGH_MEMORY;
      break;
    case ENOSPC:
    case EDQUOT:
      code = ERROR_DISK_FULL;
      break;
    case ENAMETOOLONG:
      code = ERROR_FILENAME_EXCED_RANGE;
      break;
    default:
      code = ERROR_INTERNET_INTERNAL_ERROR;
      break;
  }
  char buffer[256];
  const char* text = strerror_r(err, buffer, sizeof buffer);
  SetLastErrorDetail(code, text ? text : "");
}

std::string DescribeErrorCode(DWORD code) {
  // The texts of the internet service's and the system's codes live once, in
  // the runtime's message table.
  OLECHAR text[512];
  DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                code, 0, text, 512, nullptr);
  while (length > 0 && (text[length - 1] == u'\n' || text[length - 1] == u'\r')) --length;
  return qx::Utf16ToUtf8(std::u16string_view(text, length));
}

std::u16string GetErrorMessage(DWORD code) {
  if (code == 0) return std::u16string();
  // What the code means, then what the failing layer said, so that a
  // message carrying the code also says what it is.
  const std::string meaning = DescribeErrorCode(code);
  if (code != t_last_error.code || t_last_error.detail.empty()) return qx::Utf8ToUtf16(meaning);
  if (meaning.empty()) return qx::Utf8ToUtf16(t_last_error.detail);
  return qx::Utf8ToUtf16(meaning + " (" + t_last_error.detail + ")");
}

}  // namespace qx::inet

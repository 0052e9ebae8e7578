#include "feed/xml_dom/errno_result.h"

#include <cerrno>
#include <cstring>

namespace qx::xml {

HRESULT HResultFromErrno(int error) {
  switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY:
      return E_ACCESSDENIED;
    case ENOENT:
    case ENOTDIR:
      return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    case ENOSPC:
    case EDQUOT:
      return HRESULT_FROM_WIN32(112);  // disk full
    case ENOMEM:
      return E_OUTOFMEMORY;
    case ENAMETOOLONG:
      return HRESULT_FROM_WIN32(206);  // file name too long
    default:
      return E_FAIL;
  }
}

std::string ErrnoText(int error) {
  char buffer[256];
  // GNU strerror_r returns the text, which may or may not live in buffer.
  return strerror_r(error, buffer, sizeof buffer);
}

}  // namespace qx::xml

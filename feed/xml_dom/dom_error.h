// How the XML DOM layer reports failures.
//
// Every operation except loading throws DomError, which carries a text for the
// user and the result code that the caller reports at its method boundary.
// Loading never throws: it returns false and leaves a ParseError behind.
#pragma once

#include <exception>
#include <string>

#include "qxnet/platform.h"

namespace qx::xml {

class DomError : public std::exception {
 public:
  DomError(std::u16string description, HRESULT hr);

  const char* what() const noexcept override { return what_.c_str(); }

  std::u16string description;
  HRESULT hr;

 private:
  std::string what_;  // description in UTF-8, for logs and test output
};

// Why the last load failed.
struct ParseError {
  HRESULT errorCode = S_OK;  // S_OK after a successful load
  std::u16string reason;     // e.g. "Start-end tags mismatch"
  // Position of the error in the file, counted in characters (Unicode code
  // points, a byte order mark not counted): filepos is the number of
  // characters before the error; line and linepos are 1-based (0 when the
  // file could not be read at all).
  long filepos = 0;
  long line = 0;
  long linepos = 0;
};

}  // namespace qx::xml

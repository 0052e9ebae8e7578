// A response's header block, read one line at a time as libcurl hands the
// lines over: the status line, the fields in order (folded continuations
// joined), and the block as received.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qx::inet {

struct ResponseHeaders {
  long status = 0;
  std::string version;                                      // "HTTP/1.1"
  std::string reason;                                       // "OK"
  std::vector<std::pair<std::string, std::string>> fields;  // in order received
  std::string raw;  // the block as received, CR LF line ends

  // The n-th value of a field (name compared without regard to case).
  const std::string* Find(std::string_view name, size_t occurrence = 0) const;
};

enum class HeaderLine {
  Status,  // a status line: the block was started anew
  Field,   // a field, a continuation, or a line that is neither (kept in raw only)
  End,     // the blank line that ends the block
};

// Adds one line (its line end included or not) to `block`.
HeaderLine AddHeaderLine(ResponseHeaders& block, std::string_view line);

}  // namespace qx::inet

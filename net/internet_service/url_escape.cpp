// Percent-escaping of unsafe URL characters.
#include "net/internet_service/url_escape.h"

#include <cstring>

namespace qx::inet {
namespace {

bool IsHex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool IsAsciiAlnum(unsigned char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

}  // namespace

std::string EscapeUnsafeUrlText(std::string_view text, bool inQuery) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    bool keep = IsAsciiAlnum(c) || std::strchr("-._~!$&'()*+,;=:@/", c) != nullptr;
    if (c == 0) keep = false;
    if (inQuery && c == '?') keep = true;
    if (c == '%' && i + 2 < text.size() && IsHex(text[i + 1]) && IsHex(text[i + 2])) {
      keep = true;
    }
    if (keep) {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back('%');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 0xF]);
    }
  }
  return out;
}

}  // namespace qx::inet

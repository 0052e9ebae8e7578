// Form body packing for the form upload.
#include "net/upload/post_data.h"

#include <cstdint>
#include <new>

#include "net/upload/upload_error.h"

namespace qx::net {
namespace {

bool NeedsEscape(unsigned char c) {
  if (c < 0x20 || c >= 0x7F) return true;
  switch (c) {
    case ' ':
    case '"':
    case '#':
    case '$':
    case '%':
    case '&':
    case '+':
    case ',':
    case ';':
    case '<':
    case '=':
    case '>':
    case '?':
    case '@':
    case '[':
    case '\\':
    case ']':
    case '^':
    case '`':
    case '{':
    case '|':
    case '}':
      return true;
    default:
      return false;
  }
}

size_t EscapedLength(std::string_view text) {
  size_t length = 0;
  for (const char c : text) length += NeedsEscape(static_cast<unsigned char>(c)) ? 3 : 1;
  return length;
}

void AppendEscaped(unsigned char c, std::string& out) {
  static const char kHex[] = "0123456789abcdef";
  if (NeedsEscape(c)) {
    out.push_back('%');
    out.push_back(kHex[c >> 4]);
    out.push_back(kHex[c & 0xF]);
  } else {
    out.push_back(static_cast<char>(c));
  }
}

}  // namespace

std::string EscapeFormText(std::string_view text) {
  std::string out;
  out.reserve(EscapedLength(text));
  for (const char c : text) AppendEscaped(static_cast<unsigned char>(c), out);
  return out;
}

void PackagePostData(std::string_view value, std::string_view fieldName, std::string& body) {
  if (value.empty()) return;
  constexpr size_t kLimit = static_cast<size_t>(INT32_MAX);

  const size_t escapedLength = EscapedLength(value);
  if (escapedLength > kLimit) throw UploadError("Unable to url escape value");
  std::string name;
  try {
    name = EscapeFormText(fieldName);
  } catch (const std::bad_alloc&) {
    throw UploadError("Unable to url escape value");
  }

  // Each piece carries its name, "=" and (after the first) "&"; pieces are
  // at least kPostPieceLength - 2 characters long except the last one.
  const size_t pieces = escapedLength / (kPostPieceLength - 2) + 1;
  const size_t bodyLength = body.size() + escapedLength + pieces * (name.size() + 2);
  if (bodyLength > kLimit) throw UploadError("Unable to package post data");
  try {
    body.reserve(bodyLength);
  } catch (const std::bad_alloc&) {
    throw UploadError("Unable to url escape value");
  }

  // The value is escaped straight into the body, so the escaped text is
  // never held twice.
  size_t pieceLength = 0;
  bool started = false;
  for (const char ch : value) {
    const auto c = static_cast<unsigned char>(ch);
    const size_t tokenLength = NeedsEscape(c) ? 3 : 1;
    if (!started || pieceLength + tokenLength > kPostPieceLength) {
      if (started) body.push_back('&');
      body.append(name);
      body.push_back('=');
      pieceLength = 0;
      started = true;
    }
    AppendEscaped(c, body);
    pieceLength += tokenLength;
  }
}

}  // namespace qx::net

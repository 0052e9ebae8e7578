#include "feed/xml_dom/xml_input_decoding.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <optional>
#include <utility>

namespace qx::xml {
namespace {

enum class Encoding { kUtf8, kUtf16Le, kUtf16Be, kUtf32Le, kUtf32Be, kDeclared };

struct Detection {
  Encoding encoding = Encoding::kUtf8;
  size_t bomLength = 0;
  std::string declaredName;  // for kDeclared
};

std::u16string Widen(std::string_view ascii) { return std::u16string(ascii.begin(), ascii.end()); }

uint8_t ByteAt(std::string_view bytes, size_t i) {
  return i < bytes.size() ? static_cast<uint8_t>(bytes[i]) : 0xFF;
}

bool IsXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string AsciiLower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

// The value of encoding="..." in an XML declaration at the start of 8-bit
// text, if there is one.
std::optional<std::string> DeclaredEncoding(std::string_view bytes) {
  if (bytes.substr(0, 5) != "<?xml" || bytes.size() < 6 || !IsXmlSpace(bytes[5])) {
    return std::nullopt;
  }
  const size_t end = bytes.find("?>");
  if (end == std::string_view::npos) return std::nullopt;
  return EncodingPseudoAttribute(bytes.substr(5, end - 5));
}

bool IsValidEncodingName(std::string_view name) {
  if (name.empty()) return false;
  auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
  if (!letter(name[0])) return false;
  for (char c : name) {
    if (!letter(c) && !(c >= '0' && c <= '9') && c != '.' && c != '_' && c != '-') return false;
  }
  return true;
}

Detection Detect(std::string_view bytes) {
  const uint8_t b0 = ByteAt(bytes, 0), b1 = ByteAt(bytes, 1), b2 = ByteAt(bytes, 2),
                b3 = ByteAt(bytes, 3);
  const bool four = bytes.size() >= 4;
  const bool two = bytes.size() >= 2;
  if (four && b0 == 0xFF && b1 == 0xFE && b2 == 0 && b3 == 0) return {Encoding::kUtf32Le, 4, {}};
  if (four && b0 == 0 && b1 == 0 && b2 == 0xFE && b3 == 0xFF) return {Encoding::kUtf32Be, 4, {}};
  if (bytes.size() >= 3 && b0 == 0xEF && b1 == 0xBB && b2 == 0xBF) return {Encoding::kUtf8, 3, {}};
  if (two && b0 == 0xFF && b1 == 0xFE) return {Encoding::kUtf16Le, 2, {}};
  if (two && b0 == 0xFE && b1 == 0xFF) return {Encoding::kUtf16Be, 2, {}};
  if (four && b0 == '<' && b1 == 0 && b2 == 0 && b3 == 0) return {Encoding::kUtf32Le, 0, {}};
  if (four && b0 == 0 && b1 == 0 && b2 == 0 && b3 == '<') return {Encoding::kUtf32Be, 0, {}};
  if (four && b0 == '<' && b1 == 0 && b2 != 0 && b3 == 0) return {Encoding::kUtf16Le, 0, {}};
  if (four && b0 == 0 && b1 == '<' && b2 == 0 && b3 != 0) return {Encoding::kUtf16Be, 0, {}};
  const auto declared = DeclaredEncoding(bytes);
  if (!declared) return {Encoding::kUtf8, 0, {}};
  const std::string lower = AsciiLower(*declared);
  if (lower == "utf-8" || lower == "utf8" || lower == "us-ascii" || lower == "ascii" ||
      lower.rfind("utf-16", 0) == 0 || lower.rfind("utf-32", 0) == 0 ||
      lower.rfind("ucs-", 0) == 0 || lower == "iso-10646-ucs-2" || lower == "unicode") {
    return {Encoding::kUtf8, 0, {}};
  }
  return {Encoding::kDeclared, 0, *declared};
}

void AppendUtf8(uint32_t cp, std::string* out) {
  if (cp < 0x80) {
    out->push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

DecodedXml Failure(std::string partial, std::u16string reason) {
  DecodedXml result;
  result.errorOffset = partial.size();
  result.utf8 = std::move(partial);
  result.reason = std::move(reason);
  return result;
}

DecodedXml DecodeUtf16(std::string_view bytes, bool little_endian) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 2);
  auto unit = [&](size_t i) -> uint32_t {
    const uint32_t a = static_cast<uint8_t>(bytes[i]), b = static_cast<uint8_t>(bytes[i + 1]);
    return little_endian ? (a | (b << 8)) : ((a << 8) | b);
  };
  size_t i = 0;
  for (; i + 1 < bytes.size(); i += 2) {
    uint32_t cp = unit(i);
    if (cp >= 0xD800 && cp <= 0xDBFF) {
      if (i + 3 >= bytes.size()) return Failure(std::move(out), u"Unpaired UTF-16 surrogate");
      const uint32_t low = unit(i + 2);
      if (low < 0xDC00 || low > 0xDFFF)
        return Failure(std::move(out), u"Unpaired UTF-16 surrogate");
      cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
      i += 2;
    } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
      return Failure(std::move(out), u"Unpaired UTF-16 surrogate");
    }
    AppendUtf8(cp, &out);
  }
  if (i != bytes.size()) return Failure(std::move(out), u"Incomplete UTF-16 character at the end");
  DecodedXml result;
  result.ok = true;
  result.utf8 = std::move(out);
  return result;
}

DecodedXml DecodeUtf32(std::string_view bytes, bool little_endian) {
  std::string out;
  out.reserve(bytes.size());
  size_t i = 0;
  for (; i + 3 < bytes.size(); i += 4) {
    uint32_t cp = 0;
    for (size_t k = 0; k < 4; ++k) {
      const uint32_t byte = static_cast<uint8_t>(bytes[i + k]);
      cp |= little_endian ? byte << (8 * k) : byte << (8 * (3 - k));
    }
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      return Failure(std::move(out), u"Invalid UTF-32 character");
    }
    AppendUtf8(cp, &out);
  }
  if (i != bytes.size()) return Failure(std::move(out), u"Incomplete UTF-32 character at the end");
  DecodedXml result;
  result.ok = true;
  result.utf8 = std::move(out);
  return result;
}

DecodedXml DecodeWithIconv(std::string_view bytes, const std::string& name) {
  if (!IsValidEncodingName(name))
    return Failure({}, u"Invalid encoding name in the XML declaration");
  iconv_t cd = iconv_open("UTF-8", name.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    return Failure({}, u"Unsupported encoding \"" + Widen(name) + u"\"");
  }
  std::string out(bytes.size() + bytes.size() / 2 + 16, '\0');
  char* in = const_cast<char*>(bytes.data());
  size_t in_left = bytes.size();
  size_t used = 0;
  std::u16string error;
  while (in_left > 0) {
    char* out_ptr = out.data() + used;
    size_t out_left = out.size() - used;
    const size_t rc = iconv(cd, &in, &in_left, &out_ptr, &out_left);
    used = out.size() - out_left;
    if (rc != static_cast<size_t>(-1)) break;
    if (errno == E2BIG) {
      out.resize(out.size() * 2);
      continue;
    }
    error = errno == EINVAL
                ? u"Incomplete character at the end for encoding \"" + Widen(name) + u"\""
                : u"Invalid byte sequence for encoding \"" + Widen(name) + u"\"";
    break;
  }
  iconv_close(cd);
  out.resize(used);
  if (!error.empty()) return Failure(std::move(out), std::move(error));
  DecodedXml result;
  result.ok = true;
  result.utf8 = std::move(out);
  return result;
}

// Checks UTF-8 text: well-formed sequences (no overlong forms, surrogates or
// values above U+10FFFF) and no control characters but tab, LF and CR.
// Returns the offset of the first bad byte.
std::optional<std::pair<size_t, std::u16string>> FindInvalidUtf8(std::string_view text) {
  const size_t n = text.size();
  size_t i = 0;
  while (i < n) {
    // Eight characters at a time while they are plain ASCII text: no byte
    // with the high bit set, none below 0x20 (the exact test for a byte
    // below n of a word whose bytes are all below 0x80).
    if (n - i >= 8) {
      constexpr uint64_t kHighBits = 0x8080808080808080u;
      constexpr uint64_t kBelowSpace = 0x2020202020202020u;
      uint64_t word;
      std::memcpy(&word, text.data() + i, sizeof word);
      if ((word & kHighBits) == 0 && ((word - kBelowSpace) & ~word & kHighBits) == 0) {
        i += 8;
        continue;
      }
    }
    const uint8_t b = static_cast<uint8_t>(text[i]);
    if (b < 0x80) {
      if (b < 0x20 && b != '\t' && b != '\n' && b != '\r') {
        return std::make_pair(i, std::u16string(u"Invalid character in the document"));
      }
      ++i;
      continue;
    }
    size_t length = 0;
    uint32_t cp = 0, min = 0;
    if (b >= 0xC2 && b <= 0xDF) {
      length = 2, cp = b & 0x1F, min = 0x80;
    } else if (b >= 0xE0 && b <= 0xEF) {
      length = 3, cp = b & 0x0F, min = 0x800;
    } else if (b >= 0xF0 && b <= 0xF4) {
      length = 4, cp = b & 0x07, min = 0x10000;
    } else {
      return std::make_pair(i, std::u16string(u"Invalid UTF-8 byte sequence"));
    }
    if (n - i < length) return std::make_pair(i, std::u16string(u"Invalid UTF-8 byte sequence"));
    for (size_t k = 1; k < length; ++k) {
      const uint8_t c = static_cast<uint8_t>(text[i + k]);
      if ((c & 0xC0) != 0x80)
        return std::make_pair(i, std::u16string(u"Invalid UTF-8 byte sequence"));
      cp = (cp << 6) | (c & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      return std::make_pair(i, std::u16string(u"Invalid UTF-8 byte sequence"));
    }
    i += length;
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> EncodingPseudoAttribute(std::string_view declaration) {
  size_t pos = declaration.find("encoding");
  if (pos == std::string_view::npos) return std::nullopt;
  pos += 8;
  while (pos < declaration.size() && IsXmlSpace(declaration[pos])) ++pos;
  if (pos >= declaration.size() || declaration[pos] != '=') return std::nullopt;
  ++pos;
  while (pos < declaration.size() && IsXmlSpace(declaration[pos])) ++pos;
  if (pos >= declaration.size() || (declaration[pos] != '"' && declaration[pos] != '\'')) {
    return std::nullopt;
  }
  const char quote = declaration[pos++];
  const size_t close = declaration.find(quote, pos);
  if (close == std::string_view::npos) return std::nullopt;
  return std::string(declaration.substr(pos, close - pos));
}

DecodedXml DecodeXmlInput(std::string bytes) {
  const Detection detection = Detect(bytes);
  DecodedXml result;
  const std::string_view body = std::string_view(bytes).substr(detection.bomLength);
  switch (detection.encoding) {
    case Encoding::kUtf8:
      result.ok = true;
      if (detection.bomLength == 0) {
        result.utf8 = std::move(bytes);
      } else {
        result.utf8.assign(body);
        std::string().swap(bytes);
      }
      break;
    case Encoding::kUtf16Le:
    case Encoding::kUtf16Be:
      result = DecodeUtf16(body, detection.encoding == Encoding::kUtf16Le);
      break;
    case Encoding::kUtf32Le:
    case Encoding::kUtf32Be:
      result = DecodeUtf32(body, detection.encoding == Encoding::kUtf32Le);
      break;
    case Encoding::kDeclared:
      result = DecodeWithIconv(body, detection.declaredName);
      break;
  }
  if (!result.ok) return result;
  if (auto bad = FindInvalidUtf8(result.utf8)) {
    result.ok = false;
    result.errorOffset = bad->first;
    result.reason = std::move(bad->second);
  }
  return result;
}

TextPosition PositionOfByte(std::string_view utf8, size_t offset) {
  if (offset > utf8.size()) offset = utf8.size();
  TextPosition position;
  for (size_t i = 0; i < offset; ++i) {
    const uint8_t b = static_cast<uint8_t>(utf8[i]);
    if ((b & 0xC0) == 0x80) continue;  // continuation byte: same character
    ++position.filepos;
    if (b == '\n' || (b == '\r' && (i + 1 >= utf8.size() || utf8[i + 1] != '\n'))) {
      ++position.line;
      position.linepos = 1;
    } else {
      ++position.linepos;
    }
  }
  return position;
}

}  // namespace qx::xml

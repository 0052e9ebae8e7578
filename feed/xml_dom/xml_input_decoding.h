// Turns the bytes of an XML file into UTF-8 text for the parser, and maps
// byte offsets of that text back to character positions.
//
// The encoding is chosen as XML prescribes: a byte order mark (UTF-8, UTF-16
// LE/BE, UTF-32 LE/BE) decides; without one, the first characters "<?" or "<"
// tell UTF-16 and UTF-32 apart from 8-bit encodings; an 8-bit file is UTF-8
// unless its XML declaration names another encoding, which is then converted
// with the C library's iconv (ISO-8859-1, windows-1252, ...). A declaration
// naming UTF-16 or UTF-32 in a file that is plainly 8-bit is read as UTF-8.
// The result is checked: malformed sequences, unpaired surrogates and control
// characters other than tab, line feed and carriage return make the input
// unreadable, reported at the character where they occur.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace qx::xml {

struct DecodedXml {
  bool ok = false;
  // The document as UTF-8 without byte order mark; on failure, the part
  // decoded before the error.
  std::string utf8;
  std::u16string reason;   // why decoding failed
  size_t errorOffset = 0;  // byte offset in utf8 where decoding failed
};

DecodedXml DecodeXmlInput(std::string bytes);

// The value of the encoding pseudo-attribute in the text of an XML
// declaration ("version='1.0' encoding='UTF-8'"), if present.
std::optional<std::string> EncodingPseudoAttribute(std::string_view declaration);

struct TextPosition {
  long filepos = 0;  // characters before the offset
  long line = 1;     // 1-based
  long linepos = 1;  // 1-based, in characters
};

// The position of a byte offset in UTF-8 text (an offset past the end counts
// as the end).
TextPosition PositionOfByte(std::string_view utf8, size_t offset);

}  // namespace qx::xml

// DecodeXmlInput checks UTF-8 text several bytes at a time while it is plain
// ASCII: a character it must refuse is found at its exact offset wherever it
// falls in such a run, and the allowed control characters pass.
#include <gtest/gtest.h>

#include <string>

#include "feed/xml_dom/xml_input_decoding.h"

namespace {

using qx::xml::DecodeXmlInput;

TEST(XmlInputScan, FindsARefusedByteAtEveryOffsetOfAnAsciiRun) {
  const std::string plain = "<a>abcdefghijklmnopqrstuvwxyz0123</a>";
  // Zero, other control characters and bytes that start no UTF-8 character are refused.
  const std::string refused("\x00\x01\x1F\x80\xFF", 5), allowed = "\t\n\r \x7F";
  for (const char byte : refused + allowed) {
    const bool isRefused = refused.find(byte) != std::string::npos;
    for (size_t offset = 3; offset < 3 + 26; ++offset) {
      std::string text = plain;
      text[offset] = byte;
      const auto decoded = DecodeXmlInput(text);
      EXPECT_EQ(decoded.ok, !isRefused) << int(byte) << " at " << offset;
      if (isRefused) {
        EXPECT_EQ(decoded.errorOffset, offset) << int(byte);
      }
    }
  }
}

}  // namespace

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
  for (const char bad : {'\x00', '\x01', '\x1F', '\x80', '\xFF'}) {
    for (size_t offset = 3; offset < 3 + 26; ++offset) {
      std::string text = plain;
      text[offset] = bad;
      const auto decoded = DecodeXmlInput(text);
      EXPECT_FALSE(decoded.ok) << int(bad) << " at " << offset;
      EXPECT_EQ(decoded.errorOffset, offset) << int(bad);
    }
  }
  for (const char allowed : {'\t', '\n', '\r', ' ', '\x7F'}) {
    for (size_t offset = 3; offset < 3 + 26; ++offset) {
      std::string text = plain;
      text[offset] = allowed;
      EXPECT_TRUE(DecodeXmlInput(text).ok) << int(allowed) << " at " << offset;
    }
  }
}

}  // namespace

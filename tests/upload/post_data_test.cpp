// The form body: the escaping table, field names with awkward text, and the
// cut into pieces of at most 30000 characters that never splits an escape.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "net/upload/base64.h"
#include "net/upload/post_data.h"

namespace {

using qx::net::EscapeFormText;
using qx::net::kPostPieceLength;

std::string Pack(const std::string& value, const std::string& name, std::string body = "") {
  qx::net::PackagePostData(value, name, body);
  return body;
}

// Splits a body made with field name `name` into its values.
std::vector<std::string> Pieces(const std::string& body, const std::string& name) {
  std::vector<std::string> pieces;
  for (size_t start = 0; start < body.size();) {
    EXPECT_EQ(body.compare(start, name.size() + 1, name + "="), 0) << "at " << start;
    start += name.size() + 1;
    const size_t end = std::min(body.find('&', start), body.size());
    pieces.push_back(body.substr(start, end - start));
    start = end + 1;
  }
  return pieces;
}

TEST(PostData, EscapingTable) {
  const std::string escaped = " \"#$%&+,;<=>?@[\\]^`{|}";
  for (int c = 0; c < 256; ++c) {
    const std::string one(1, static_cast<char>(c));
    const bool escape = c < 0x20 || c >= 0x7F || escaped.find(one) != std::string::npos;
    char hex[4];
    std::snprintf(hex, sizeof hex, "%%%02x", c);
    EXPECT_EQ(EscapeFormText(one), escape ? std::string(hex) : one) << "byte " << c;
  }
}

TEST(PostData, FieldNamesAndValuesWithAwkwardText) {
  const struct {
    std::string value, name, body;
  } cases[] = {{"YWJj", "file", "file=YWJj"},
               {"ab+/cd==", "f", "f=ab%2b/cd%3d%3d"},
               {"YWI=", "my field", "my%20field=YWI%3d"},
               {"QQ==", "a\"b'c", "a%22b'c=QQ%3d%3d"},
               {"QQ==", "x&y=z", "x%26y%3dz=QQ%3d%3d"},
               {"QQ==", "f\xC3\xBC\x72", "f%c3%bcr=QQ%3d%3d"},
               {"a b\"\xE2\x82\xAC", "v", "v=a%20b%22%e2%82%ac"},
               {"", "f", ""}};
  for (const auto& c : cases) EXPECT_EQ(Pack(c.value, c.name), c.body) << c.name;
  EXPECT_EQ(Pack("QQ==", "f", "first=1"), "first=1f=QQ%3d%3d");
}

TEST(PostData, CutAtTheLimitNeverSplitsAnEscape) {
  const size_t n = kPostPieceLength;
  const struct {
    std::string value;
    std::vector<std::string> pieces;
  } cases[] = {
      {std::string(n, 'B'), {std::string(n, 'B')}},
      {std::string(n + 1, 'A'), {std::string(n, 'A'), "A"}},
      // An escape starting 2 or 1 characters before the limit moves whole.
      {std::string(n - 2, 'A') + "+B", {std::string(n - 2, 'A'), "%2bB"}},
      {std::string(n - 1, 'A') + "=B", {std::string(n - 1, 'A'), "%3dB"}},
      // One that ends exactly at the limit stays.
      {std::string(n - 3, 'A') + "+B", {std::string(n - 3, 'A') + "%2b", "B"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value.size());
    EXPECT_EQ(Pieces(Pack(c.value, "f"), "f"), c.pieces);
  }
}

TEST(PostData, PiecesOfALargeBase64TextRejoinToItsEscapedForm) {
  std::mt19937 random(11);
  std::string text(250000, '\0');
  for (char& c : text) c = static_cast<char>(random());
  qx::net::Base64Data(text);
  const auto pieces = Pieces(Pack(text, "upload"), "upload");
  ASSERT_GT(pieces.size(), 3u);
  std::string joined;
  for (size_t i = 0; i < pieces.size(); ++i) {
    const std::string& piece = pieces[i];
    EXPECT_LE(piece.size(), kPostPieceLength);
    if (i + 1 < pieces.size()) {
      EXPECT_GE(piece.size(), kPostPieceLength - 2);
    }
    // No escape starts in the last two characters, where it would be cut.
    EXPECT_EQ(piece.find('%', std::max<size_t>(piece.size(), 2) - 2), std::string::npos) << i;
    joined += piece;
  }
  EXPECT_EQ(joined, EscapeFormText(text));
}

}  // namespace

// The form body: the escaping table, field names with awkward text, and the
// cut into pieces of at most 30000 characters that never splits an escape.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "net/upload/base64.h"
#include "net/upload/post_data.h"

namespace {

using qx::net::EscapeFormText;
using qx::net::kPostPieceLength;
using qx::net::PackagePostData;

std::string Pack(const std::string& value, const std::string& name) {
  std::string body;
  PackagePostData(value, name, body);
  return body;
}

// Splits a body made with field name `name` into its values.
std::vector<std::string> Pieces(const std::string& body, const std::string& name) {
  std::vector<std::string> pieces;
  const std::string prefix = name + "=";
  size_t start = 0;
  while (start < body.size()) {
    EXPECT_EQ(body.compare(start, prefix.size(), prefix), 0) << "at " << start;
    start += prefix.size();
    size_t end = body.find('&', start);
    if (end == std::string::npos) end = body.size();
    pieces.push_back(body.substr(start, end - start));
    start = end + 1;
  }
  return pieces;
}

TEST(PostData, EscapingTable) {
  const std::string escaped = " \"#$%&+,;<=>?@[\\]^`{|}";
  for (int c = 0; c < 256; ++c) {
    const std::string one(1, static_cast<char>(c));
    const bool expectEscape = c < 0x20 || c >= 0x7F || escaped.find(static_cast<char>(c)) !=
                                                            std::string::npos;
    char hex[4];
    std::snprintf(hex, sizeof hex, "%%%02x", c);
    EXPECT_EQ(EscapeFormText(one), expectEscape ? std::string(hex) : one) << "byte " << c;
  }
  // Base64 text: plus and equals are escaped in lowercase, slash is kept.
  EXPECT_EQ(EscapeFormText("ab+/cd=="), "ab%2b/cd%3d%3d");
}

TEST(PostData, FieldNamesWithSpacesQuotesAndNonAsciiTextStayOneField) {
  EXPECT_EQ(Pack("YWJj", "file"), "file=YWJj");
  EXPECT_EQ(Pack("YWI=", "my field"), "my%20field=YWI%3d");
  EXPECT_EQ(Pack("QQ==", "a\"b'c"), "a%22b'c=QQ%3d%3d");
  EXPECT_EQ(Pack("QQ==", "x&y=z"), "x%26y%3dz=QQ%3d%3d");
  EXPECT_EQ(Pack("QQ==", "f\xC3\xBC\x72"), "f%c3%bcr=QQ%3d%3d");  // "für" in UTF-8
  EXPECT_EQ(Pack("a b\"\xE2\x82\xAC", "v"), "v=a%20b%22%e2%82%ac");
}

TEST(PostData, EmptyValueAddsNothingAndAnExistingBodyIsAppendedTo) {
  EXPECT_EQ(Pack("", "f"), "");
  std::string body = "first=1";
  PackagePostData("QQ==", "f", body);
  EXPECT_EQ(body, "first=1f=QQ%3d%3d");
}

TEST(PostData, LongTextIsSentInPiecesUnderTheSameName) {
  const std::string value(kPostPieceLength + 1, 'A');
  const std::string body = Pack(value, "f");
  EXPECT_EQ(body, "f=" + std::string(kPostPieceLength, 'A') + "&f=A");

  const std::string exact(kPostPieceLength, 'B');
  EXPECT_EQ(Pack(exact, "f"), "f=" + exact);
}

TEST(PostData, AnEscapeAtTheCutMovesWholeToTheNextPiece) {
  // The escape would start 2 or 1 characters before the limit.
  for (size_t before : {kPostPieceLength - 2, kPostPieceLength - 1}) {
    for (const char special : {'+', '='}) {
      const std::string value = std::string(before, 'A') + special + "B";
      const auto pieces = Pieces(Pack(value, "f"), "f");
      ASSERT_EQ(pieces.size(), 2u) << before;
      EXPECT_EQ(pieces[0], std::string(before, 'A'));
      EXPECT_EQ(pieces[1], EscapeFormText(std::string(1, special)) + "B");
    }
  }
  // An escape that ends exactly at the limit stays in the first piece.
  const std::string value = std::string(kPostPieceLength - 3, 'A') + "+B";
  const auto pieces = Pieces(Pack(value, "f"), "f");
  ASSERT_EQ(pieces.size(), 2u);
  EXPECT_EQ(pieces[0], std::string(kPostPieceLength - 3, 'A') + "%2b");
  EXPECT_EQ(pieces[1], "B");
}

TEST(PostData, PiecesOfALargeBase64TextRejoinToItsEscapedForm) {
  std::mt19937 random(11);
  std::string bytes(250000, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  std::string text = bytes;
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
    // Every escape in the piece is whole.
    for (size_t at = piece.find('%'); at != std::string::npos; at = piece.find('%', at + 1)) {
      EXPECT_LE(at + 3, piece.size()) << "piece " << i;
    }
    joined += piece;
  }
  EXPECT_EQ(joined, EscapeFormText(text));
}

}  // namespace

// Base64 text of upload data: the RFC 4648 vectors, every byte value
// checked against OpenSSL's encoder, and the in-place conversion's refusals.
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <random>
#include <string>
#include <vector>

#include "net/upload/base64.h"
#include "net/upload/upload_error.h"

namespace {

using qx::net::Base64Data;
using qx::net::Base64Encode;

std::string OpenSslBase64(const std::string& bytes) {
  std::vector<unsigned char> out(4 * ((bytes.size() + 2) / 3) + 1);
  const int n = EVP_EncodeBlock(out.data(), reinterpret_cast<const unsigned char*>(bytes.data()),
                                static_cast<int>(bytes.size()));
  return std::string(reinterpret_cast<const char*>(out.data()), static_cast<size_t>(n));
}

TEST(Base64, Rfc4648Vectors) {
  EXPECT_EQ(Base64Encode(""), "");
  EXPECT_EQ(Base64Encode("f"), "Zg==");
  EXPECT_EQ(Base64Encode("fo"), "Zm8=");
  EXPECT_EQ(Base64Encode("foo"), "Zm9v");
  EXPECT_EQ(Base64Encode("foob"), "Zm9vYg==");
  EXPECT_EQ(Base64Encode("fooba"), "Zm9vYmE=");
  EXPECT_EQ(Base64Encode("foobar"), "Zm9vYmFy");
}

TEST(Base64, BinaryDataMatchesAReferenceEncoder) {
  std::string every;
  for (int i = 0; i < 256; ++i) every.push_back(static_cast<char>(i));
  EXPECT_EQ(Base64Encode(every), OpenSslBase64(every));
  EXPECT_EQ(Base64Encode(std::string("\0\xff\xfe", 3)), "AP/+");

  std::mt19937 random(7);
  for (size_t length : {1u, 2u, 3u, 4u, 5u, 1000u, 65537u}) {
    std::string bytes(length, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    const std::string text = Base64Encode(bytes);
    EXPECT_EQ(text, OpenSslBase64(bytes)) << length;
    EXPECT_EQ(text.size() % 4, 0u);
    EXPECT_EQ(text.find('\n'), std::string::npos);
  }
}

TEST(Base64, DataIsReplacedByItsText) {
  std::string buffer = "abc";
  Base64Data(buffer);
  EXPECT_EQ(buffer, "YWJj");
  buffer = "ab";
  Base64Data(buffer);
  EXPECT_EQ(buffer, "YWI=");
  buffer = std::string("\0", 1);
  Base64Data(buffer);
  EXPECT_EQ(buffer, "AA==");
}

TEST(Base64, EmptyDataIsRefused) {
  std::string buffer;
  try {
    Base64Data(buffer);
    FAIL() << "no error";
  } catch (const qx::net::UploadError& error) {
    EXPECT_STREQ(error.what(), "Invalid data passed to CQXNet::Base64Data");
  }
}

}  // namespace

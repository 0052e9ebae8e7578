// Base64 text of upload data: the RFC 4648 vectors, random data checked
// against OpenSSL's encoder, and the in-place conversion.
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <random>
#include <string>
#include <vector>

#include "net/upload/base64.h"
#include "net/upload/upload_error.h"

namespace {

using qx::net::Base64Encode;

std::string OpenSslBase64(const std::string& bytes) {
  std::vector<unsigned char> out(4 * ((bytes.size() + 2) / 3) + 1);
  const int n = EVP_EncodeBlock(out.data(), reinterpret_cast<const unsigned char*>(bytes.data()),
                                static_cast<int>(bytes.size()));
  return std::string(reinterpret_cast<const char*>(out.data()), static_cast<size_t>(n));
}

TEST(Base64, KnownVectorsAndAReferenceEncoder) {
  const std::pair<std::string, std::string> vectors[] = {{"", ""},
                                                         {"f", "Zg=="},
                                                         {"fo", "Zm8="},
                                                         {"foo", "Zm9v"},
                                                         {"foob", "Zm9vYg=="},
                                                         {"fooba", "Zm9vYmE="},
                                                         {"foobar", "Zm9vYmFy"},
                                                         {std::string("\0\xff\xfe", 3), "AP/+"}};
  for (const auto& [bytes, text] : vectors) EXPECT_EQ(Base64Encode(bytes), text) << text;

  std::mt19937 random(7);
  for (size_t length : {1u, 2u, 3u, 256u, 65537u}) {
    std::string bytes(length, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    const std::string text = Base64Encode(bytes);
    EXPECT_EQ(text, OpenSslBase64(bytes)) << length;
    EXPECT_EQ(text.find('\n'), std::string::npos);
  }
}

TEST(Base64, DataIsReplacedByItsTextAndEmptyDataRefused) {
  std::string buffer("\0", 1);
  qx::net::Base64Data(buffer);
  EXPECT_EQ(buffer, "AA==");
  buffer.clear();
  try {
    qx::net::Base64Data(buffer);
    ADD_FAILURE() << "no error";
  } catch (const qx::net::UploadError& error) {
    EXPECT_STREQ(error.what(), "Invalid data passed to CQXNet::Base64Data");
  }
}

}  // namespace

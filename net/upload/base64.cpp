// Base64 encoder for the form upload.
#include "net/upload/base64.h"

#include <cstdint>
#include <new>

#include "net/upload/upload_error.h"

namespace qx::net {

const char kBase64Alphabet[65] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string Base64Encode(std::string_view bytes) {
  std::string text;
  text.reserve((bytes.size() + 2) / 3 * 4);
  const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
  size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const std::uint32_t group =
        (std::uint32_t{in[i]} << 16) | (std::uint32_t{in[i + 1]} << 8) | std::uint32_t{in[i + 2]};
    text.push_back(kBase64Alphabet[(group >> 18) & 0x3F]);
    text.push_back(kBase64Alphabet[(group >> 12) & 0x3F]);
    text.push_back(kBase64Alphabet[(group >> 6) & 0x3F]);
    text.push_back(kBase64Alphabet[group & 0x3F]);
  }
  const size_t rest = bytes.size() - i;
  if (rest > 0) {
    std::uint32_t group = std::uint32_t{in[i]} << 16;
    if (rest == 2) group |= std::uint32_t{in[i + 1]} << 8;
    text.push_back(kBase64Alphabet[(group >> 18) & 0x3F]);
    text.push_back(kBase64Alphabet[(group >> 12) & 0x3F]);
    text.push_back(rest == 2 ? kBase64Alphabet[(group >> 6) & 0x3F] : '=');
    text.push_back('=');
  }
  return text;
}

void Base64Data(std::string& buffer) {
  if (buffer.empty()) throw UploadError("Invalid data passed to CQXNet::Base64Data");
  const size_t textLength = (buffer.size() + 2) / 3 * 4;
  if (textLength > static_cast<size_t>(INT32_MAX)) {
    throw UploadError("Problem with data in CQXNet::Base64Data");
  }
  std::string text;
  try {
    text = Base64Encode(buffer);
  } catch (const std::bad_alloc&) {
    throw UploadError("Problem with data in CQXNet::Base64Data");
  }
  if (text.empty()) throw UploadError("Problem with data in CQXNet::Base64Data");
  // Free the file's bytes before the caller goes on with the text.
  std::string().swap(buffer);
  buffer = std::move(text);
}

}  // namespace qx::net

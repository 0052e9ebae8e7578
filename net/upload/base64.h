// Base64 text of binary data (RFC 4648, standard alphabet, "=" padding, no
// line breaks) and the in-place conversion an upload form body starts from.
#pragma once

#include <string>
#include <string_view>

namespace qx::net {

// The standard alphabet, held once for the whole library.
extern const char kBase64Alphabet[65];

// Every 3 bytes become 4 characters, most significant bits first; a final
// group of 1 or 2 bytes gives 2 or 3 characters and "=" up to a multiple of 4.
std::string Base64Encode(std::string_view bytes);

// Replaces `buffer` by its Base64 text. Throws UploadError with
// "Invalid data passed to CQXNet::Base64Data" for an empty buffer, and with
// "Problem with data in CQXNet::Base64Data" when the text cannot be made
// (its length would not fit the signed 32-bit length the buffers carry, or
// there is no memory for it).
void Base64Data(std::string& buffer);

}  // namespace qx::net

// The form-urlencoded body of a form upload: the value escaped byte by byte
// and cut into pieces of at most kPostPieceLength characters, each sent under
// the same field name ("name=piece&name=piece...").
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qx::net {

inline constexpr size_t kPostPieceLength = 30000;

// The header text sent with a form body.
inline constexpr char kFormContentTypeHeader[] = "Content-Type: application/x-www-form-urlencoded";

// Escapes as "%" and two lowercase hex digits: bytes below 0x20, bytes 0x7F
// and above, and space " # $ % & + , ; < = > ? @ [ \ ] ^ ` { | }. Every other
// byte is copied. (For Base64 text: "+" -> "%2b", "=" -> "%3d", "/" kept.)
std::string EscapeFormText(std::string_view text);

// Appends the pieces of `value` to `body`: the first as "name=piece", every
// later one as "&name=piece", where name is `fieldName` (UTF-8) escaped the
// same way. A piece never ends inside an escape: an escape that would cross
// the limit starts the next piece. Nothing is appended for an empty value.
// Throws UploadError "Unable to url escape value" when the escaped value
// cannot be made (no memory, or longer than the signed 32-bit limit), and
// "Unable to package post data" when the whole body would exceed that limit.
void PackagePostData(std::string_view value, std::string_view fieldName, std::string& body);

}  // namespace qx::net

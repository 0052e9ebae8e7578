// UTF-8 <-> UTF-16 conversion for the boundary between the platform's wide
// strings and Linux's byte strings (paths, libcurl, SQLite, pugixml).
// Invalid sequences become U+FFFD; conversion never fails.
#pragma once

#include <string>
#include <string_view>

#include "qxnet/platform.h"

namespace qx {

std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

// A BSTR's full text (embedded zeros kept); null reads as empty.
inline std::u16string_view BstrView(BSTR s) {
  return s ? std::u16string_view(s, SysStringLen(s)) : std::u16string_view();
}
inline std::string BstrToUtf8(BSTR s) { return Utf16ToUtf8(BstrView(s)); }

// Text up to the first zero character of a zero-terminated wide string.
inline std::u16string_view WideView(const char16_t* s) {
  return s ? std::u16string_view(s) : std::u16string_view();
}

}  // namespace qx

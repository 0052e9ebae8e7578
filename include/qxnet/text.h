// UTF-8 <-> UTF-16 conversion for the boundary between the platform's wide
// strings and Linux's byte strings (paths, libcurl, SQLite, pugixml).
// Invalid sequences become U+FFFD; conversion never fails.
//
// Header-only, so that the installed string helpers (qxnet/bstr.h) work in a
// client without a library beyond libqxcom, and the runtime's exported
// interface stays the platform's C functions only.
#pragma once

#include <string>
#include <string_view>

#include "qxnet/platform.h"

namespace qx {

namespace text_detail {

inline constexpr char32_t kReplacement = 0xFFFD;

inline void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

inline void AppendUtf16(std::u16string& out, char32_t cp) {
  if (cp < 0x10000) {
    out.push_back(static_cast<char16_t>(cp));
  } else {
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  }
}

}  // namespace text_detail

inline std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  size_t i = 0;
  const size_t n = text.size();
  while (i < n) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) {
      out.push_back(lead);
      ++i;
      continue;
    }
    int extra;
    char32_t cp;
    char32_t minimum;
    if ((lead & 0xE0) == 0xC0) {
      extra = 1, cp = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      extra = 2, cp = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      extra = 3, cp = lead & 0x07, minimum = 0x10000;
    } else {
      out.push_back(text_detail::kReplacement);
      ++i;
      continue;
    }
    size_t j = i + 1;
    bool ok = true;
    for (int k = 0; k < extra; ++k, ++j) {
      if (j >= n || (static_cast<unsigned char>(text[j]) & 0xC0) != 0x80) {
        ok = false;
        break;
      }
      cp = (cp << 6) | (static_cast<unsigned char>(text[j]) & 0x3F);
    }
    if (!ok || cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      out.push_back(text_detail::kReplacement);
      i = ok ? j : i + 1;
      continue;
    }
    text_detail::AppendUtf16(out, cp);
    i = j;
  }
  return out;
}

inline std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF) {
      if (i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
        cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
        ++i;
      } else {
        cp = text_detail::kReplacement;
      }
    } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
      cp = text_detail::kReplacement;
    }
    text_detail::AppendUtf8(out, cp);
  }
  return out;
}

// A BSTR's full text (embedded zeros kept); null reads as empty.
inline std::u16string_view BstrView(BSTR s) {
  return s ? std::u16string_view(s, SysStringLen(s)) : std::u16string_view();
}
inline std::string BstrToUtf8(BSTR s) { return Utf16ToUtf8(BstrView(s)); }

// Text up to the first zero character of a zero-terminated wide string.
inline std::u16string_view WideView(const char16_t* s) {
  return s ? std::u16string_view(s) : std::u16string_view();
}

// Whether `text` equals `lowercase` when ASCII capitals count as small
// letters: "TRUE", "True" and "true" all equal u"true".
inline bool EqualsIgnoringAsciiCase(std::u16string_view text, std::u16string_view lowercase) {
  if (text.size() != lowercase.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if ((c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c) != lowercase[i])
      return false;
  }
  return true;
}

}  // namespace qx

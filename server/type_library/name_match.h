// Name comparison of the dispatch layer: names of the library are ASCII, and
// late-bound callers may write them in any letter case.
#pragma once

#include <string_view>

namespace qx::typelib {

inline char16_t FoldAscii(char16_t c) { return (c >= u'A' && c <= u'Z') ? c + (u'a' - u'A') : c; }

inline bool NamesEqual(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  return true;
}

}  // namespace qx::typelib

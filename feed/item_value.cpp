#include "feed/item_value.h"

#include <algorithm>

#include "qxnet/text.h"

namespace qx::feed {

std::u16string CutValue(std::u16string text) {
  if (text.size() <= kMaxValueLength) return text;
  size_t keep = kMaxValueLength;
  const char16_t last = text[keep - 1];
  const char16_t next = text[keep];
  if (last >= 0xD800 && last <= 0xDBFF && next >= 0xDC00 && next <= 0xDFFF) --keep;
  text.resize(keep);
  return text;
}

BStr ItemValue(std::string_view utf8) {
  // ASCII text has one code unit per byte and nothing to cut between pairs:
  // widened straight into the string, without an intermediate copy.
  const bool ascii = std::all_of(utf8.begin(), utf8.end(),
                                 [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  if (!ascii) return BStr(CutValue(Utf8ToUtf16(utf8)));
  const size_t length = std::min(utf8.size(), kMaxValueLength);
  BStr value = BStr::Attach(SysAllocStringLen(nullptr, static_cast<UINT>(length)));
  if (value.IsNull()) return value;
  std::copy_n(utf8.begin(), length, value.Get());
  return value;
}

}  // namespace qx::feed

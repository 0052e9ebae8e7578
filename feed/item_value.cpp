#include "feed/item_value.h"

#include <algorithm>
#include <array>

#include "feed/feed_date.h"
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

namespace {

bool IsAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

}  // namespace

BStr ItemValue(std::string_view utf8) {
  // ASCII text has one code unit per byte and nothing to cut between pairs:
  // widened straight into the string, without an intermediate copy.
  if (!IsAscii(utf8)) return BStr(CutValue(Utf8ToUtf16(utf8)));
  const size_t length = std::min(utf8.size(), kMaxValueLength);
  BStr value = BStr::Attach(SysAllocStringLen(nullptr, static_cast<UINT>(length)));
  if (value.IsNull()) return value;
  std::copy_n(utf8.begin(), length, value.Get());
  return value;
}

DATE ItemDate(std::string_view utf8) {
  // Dates are short: widened on the stack when they fit.
  std::array<char16_t, 64> units;
  if (utf8.size() > units.size() || !IsAscii(utf8)) {
    return feed::ParseFeedDate(CutValue(Utf8ToUtf16(utf8)));
  }
  std::copy(utf8.begin(), utf8.end(), units.begin());
  return feed::ParseFeedDate(std::u16string_view(units.data(), utf8.size()));
}

}  // namespace qx::feed

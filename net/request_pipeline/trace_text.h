// Small text helpers for the trace lines and messages of the internet-
// transfer object, which are built as UTF-16 text.
#pragma once

#include <string>
#include <string_view>

namespace qx::net {

// Decimal text of a number.
inline std::u16string DecimalText(long long value) {
  const std::string digits = std::to_string(value);
  return std::u16string(digits.begin(), digits.end());
}

inline std::u16string_view TrueFalseText(bool value) { return value ? u"true" : u"false"; }

}  // namespace qx::net

// Numbers as text for variant coercion, always in the plain C-locale form
// (digits, '-', '.', exponent 'E'; no thousands separators), whatever the
// process locale.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "qxnet/platform.h"

namespace qx {

struct ParsedNumber {
  bool isInteger = true;  // exact whole number that fits int64 (no '.' or exponent)
  int64_t integer = 0;
  double real = 0.0;  // always set
};

std::u16string FormatIntegerText(int64_t value);
std::u16string FormatUnsignedText(uint64_t value);
// Shortest text with at most `significantDigits` significant digits, as
// printf's "%.*G" in the C locale ("0.1", "1E+20", "1E-05"); -0 prints as "0".
std::u16string FormatRealText(double value, int significantDigits);

// Reads "[ws][+|-]digits[.digits][(E|e)[+|-]digits][ws]". DISP_E_TYPEMISMATCH
// for any other text (including empty text), DISP_E_OVERFLOW when the value
// is beyond the range of a double.
HRESULT ParseNumberText(std::u16string_view text, ParsedNumber* out);

}  // namespace qx

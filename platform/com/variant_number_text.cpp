// Locale-independent number text for variant coercion.
#include "platform/com/variant_number_text.h"

#include <locale.h>
#include <cerrno>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>

namespace qx {

namespace {

bool IsSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }
bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

std::u16string Widen(const char* begin, const char* end) {
  std::u16string out;
  out.reserve(static_cast<size_t>(end - begin));
  for (const char* p = begin; p != end; ++p) out.push_back(static_cast<char16_t>(*p));
  return out;
}

// The "C" locale for strtod_l, made once per process.
locale_t CLocale() {
  static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  return c;
}

}  // namespace

std::u16string FormatIntegerText(int64_t value) {
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return Widen(buffer, result.ptr);
}

std::u16string FormatUnsignedText(uint64_t value) {
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return Widen(buffer, result.ptr);
}

std::u16string FormatRealText(double value, int significantDigits) {
  if (value == 0.0) return u"0";  // also -0
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value,
                                    std::chars_format::general, significantDigits);
  for (char* p = buffer; p != result.ptr; ++p)
    if (*p == 'e') *p = 'E';
  return Widen(buffer, result.ptr);
}

HRESULT ParseNumberText(std::u16string_view text, ParsedNumber* out) {
  size_t begin = 0, end = text.size();
  while (begin < end && IsSpace(text[begin])) ++begin;
  while (end > begin && IsSpace(text[end - 1])) --end;

  // Validate the grammar and make a narrow copy for the C library.
  std::string narrow;
  narrow.reserve(end - begin);
  size_t i = begin;
  if (i < end && (text[i] == u'+' || text[i] == u'-'))
    narrow.push_back(static_cast<char>(text[i++]));
  size_t digits = 0;
  while (i < end && IsDigit(text[i])) {
    narrow.push_back(static_cast<char>(text[i++]));
    ++digits;
  }
  bool isInteger = true;
  if (i < end && text[i] == u'.') {
    isInteger = false;
    narrow.push_back('.');
    ++i;
    while (i < end && IsDigit(text[i])) {
      narrow.push_back(static_cast<char>(text[i++]));
      ++digits;
    }
  }
  if (digits == 0) return DISP_E_TYPEMISMATCH;
  if (i < end && (text[i] == u'e' || text[i] == u'E')) {
    isInteger = false;
    narrow.push_back('e');
    ++i;
    if (i < end && (text[i] == u'+' || text[i] == u'-'))
      narrow.push_back(static_cast<char>(text[i++]));
    size_t exponentDigits = 0;
    while (i < end && IsDigit(text[i])) {
      narrow.push_back(static_cast<char>(text[i++]));
      ++exponentDigits;
    }
    if (exponentDigits == 0) return DISP_E_TYPEMISMATCH;
  }
  if (i != end) return DISP_E_TYPEMISMATCH;

  ParsedNumber result;
  errno = 0;
  result.real = strtod_l(narrow.c_str(), nullptr, CLocale());
  if (errno == ERANGE && std::isinf(result.real)) return DISP_E_OVERFLOW;
  result.isInteger = false;
  if (isInteger) {
    // from_chars takes no '+'.
    const char* first = narrow.c_str() + (narrow[0] == '+' ? 1 : 0);
    const char* last = narrow.c_str() + narrow.size();
    const auto parsed = std::from_chars(first, last, result.integer);
    result.isInteger = parsed.ec == std::errc() && parsed.ptr == last;
  }
  *out = result;
  return S_OK;
}

}  // namespace qx

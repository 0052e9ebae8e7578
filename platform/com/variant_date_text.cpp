// Automation date text for variant coercion.
#include "platform/com/variant_date_text.h"

#include <cstdio>

namespace qx {

namespace {

bool IsSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }
bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

char16_t Lower(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; }

// A cursor over the text being parsed.
class Scanner {
 public:
  explicit Scanner(std::u16string_view text) : text_(text) {}

  bool AtEnd() const { return pos_ == text_.size(); }
  char16_t Peek() const { return AtEnd() ? 0 : text_[pos_]; }
  void SkipSpaces() {
    while (!AtEnd() && IsSpace(text_[pos_])) ++pos_;
  }
  bool Take(char16_t c) {
    if (Peek() != c) return false;
    ++pos_;
    return true;
  }
  // 1 to 4 digits; `count` gets how many were read.
  bool Number(int* value, int* count = nullptr) {
    int v = 0, n = 0;
    while (n < 4 && !AtEnd() && IsDigit(text_[pos_])) {
      v = v * 10 + (text_[pos_++] - u'0');
      ++n;
    }
    if (n == 0 || (!AtEnd() && IsDigit(text_[pos_]))) return false;
    *value = v;
    if (count) *count = n;
    return true;
  }
  // "AM" or "PM" in any case; 0 when neither is next.
  char16_t Meridiem() {
    if (text_.size() - pos_ < 2 || Lower(text_[pos_ + 1]) != u'm') return 0;
    const char16_t c = Lower(text_[pos_]);
    if (c != u'a' && c != u'p') return 0;
    pos_ += 2;
    return c;
  }

 private:
  std::u16string_view text_;
  size_t pos_ = 0;
};

bool ReadTime(Scanner& in, SYSTEMTIME* st) {
  int hour, minute, second = 0;
  if (!in.Number(&hour) || !in.Take(u':') || !in.Number(&minute)) return false;
  if (in.Take(u':') && !in.Number(&second)) return false;
  in.SkipSpaces();
  if (const char16_t meridiem = in.Meridiem()) {
    if (hour > 12) return false;
    if (hour == 12) hour = 0;
    if (meridiem == u'p') hour += 12;
  }
  if (hour > 23 || minute > 59 || second > 59) return false;
  st->wHour = static_cast<WORD>(hour);
  st->wMinute = static_cast<WORD>(minute);
  st->wSecond = static_cast<WORD>(second);
  return true;
}

int ExpandYear(int year, int digits) {
  if (digits > 2) return year;
  return year < 30 ? 2000 + year : 1900 + year;
}

}  // namespace

HRESULT FormatDateText(DATE value, std::u16string* out) {
  SYSTEMTIME st;
  if (!VariantTimeToSystemTime(value, &st)) return DISP_E_OVERFLOW;
  const bool dayZero = st.wYear == 1899 && st.wMonth == 12 && st.wDay == 30;
  const bool midnight = st.wHour == 0 && st.wMinute == 0 && st.wSecond == 0;
  char buffer[48];
  int n = 0;
  if (!dayZero)
    n = std::snprintf(buffer, sizeof buffer, "%u/%u/%04u", st.wMonth, st.wDay, st.wYear);
  if (!midnight || dayZero) {
    const unsigned hour12 = st.wHour % 12 == 0 ? 12 : st.wHour % 12;
    n += std::snprintf(buffer + n, sizeof buffer - static_cast<size_t>(n), "%s%u:%02u:%02u %s",
                       dayZero ? "" : " ", hour12, st.wMinute, st.wSecond,
                       st.wHour < 12 ? "AM" : "PM");
  }
  out->assign(buffer, buffer + n);
  return S_OK;
}

HRESULT ParseDateText(std::u16string_view text, DATE* out) {
  Scanner in(text);
  in.SkipSpaces();
  SYSTEMTIME st{};
  st.wYear = 1899;
  st.wMonth = 12;
  st.wDay = 30;

  int first, firstDigits;
  if (!in.Number(&first, &firstDigits)) return DISP_E_TYPEMISMATCH;
  if (in.Peek() == u':') {
    // A time alone: that time on day 0.
    Scanner timeOnly(text);
    timeOnly.SkipSpaces();
    if (!ReadTime(timeOnly, &st)) return DISP_E_TYPEMISMATCH;
    in = timeOnly;
  } else {
    int second, third, thirdDigits;
    int year, month, day;
    bool iso = false;
    if (in.Take(u'/')) {
      if (!in.Number(&second) || !in.Take(u'/') || !in.Number(&third, &thirdDigits))
        return DISP_E_TYPEMISMATCH;
      month = first;
      day = second;
      year = ExpandYear(third, thirdDigits);
    } else if (firstDigits == 4 && in.Take(u'-')) {
      int secondDigits;
      if (!in.Number(&second, &secondDigits) || secondDigits != 2 || !in.Take(u'-') ||
          !in.Number(&third, &thirdDigits) || thirdDigits != 2)
        return DISP_E_TYPEMISMATCH;
      iso = true;
      year = first;
      month = second;
      day = third;
    } else {
      return DISP_E_TYPEMISMATCH;
    }
    if (month < 1 || month > 12 || day < 1 || day > 31) return DISP_E_TYPEMISMATCH;
    st.wYear = static_cast<WORD>(year);
    st.wMonth = static_cast<WORD>(month);
    st.wDay = static_cast<WORD>(day);
    const bool separatedByT = iso && in.Take(u'T');
    if (!separatedByT) in.SkipSpaces();
    if (separatedByT || !in.AtEnd()) {
      if (!ReadTime(in, &st)) return DISP_E_TYPEMISMATCH;
    }
  }
  in.SkipSpaces();
  if (!in.AtEnd()) return DISP_E_TYPEMISMATCH;
  double value;
  if (!SystemTimeToVariantTime(&st, &value)) return DISP_E_TYPEMISMATCH;
  *out = value;
  return S_OK;
}

}  // namespace qx

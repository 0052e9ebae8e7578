// Feed date text: formatting and strict reading, independent of the process
// locale (the names are written from our own tables, never through LC_TIME).
#include "feed/feed_date.h"

#include <time.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <optional>

namespace qx::feed {
namespace {

constexpr std::array<const char*, 7> kDayNames = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr std::array<const char*, 12> kMonthNames = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

bool IsLeapYear(unsigned year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

unsigned DaysInMonth(unsigned year, unsigned month) {
  static constexpr std::array<unsigned, 12> kDays = {31, 28, 31, 30, 31, 30,
                                                     31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// 0 = Sunday, proleptic Gregorian calendar.
unsigned DayOfWeek(unsigned year, unsigned month, unsigned day) {
  static constexpr std::array<unsigned, 12> kOffsets = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
  if (month < 3) year -= 1;
  return (year + year / 4 - year / 100 + year / 400 + kOffsets[month - 1] + day) % 7;
}

bool IsCalendarValid(const SYSTEMTIME& st) {
  return st.wYear >= 100 && st.wYear <= 9999 && st.wMonth >= 1 && st.wMonth <= 12 && st.wDay >= 1 &&
         st.wDay <= DaysInMonth(st.wYear, st.wMonth) && st.wHour <= 23 && st.wMinute <= 59 &&
         st.wSecond <= 59;
}

// A cursor over the part of the text being read.
class FieldReader {
 public:
  explicit FieldReader(std::u16string_view text) : text_(text) {}

  bool AtEnd() const { return pos_ == text_.size(); }

  // Skips blanks; tells whether there was at least one.
  bool SkipBlanks() {
    const size_t start = pos_;
    while (pos_ < text_.size() && (text_[pos_] == u' ' || text_[pos_] == u'\t')) ++pos_;
    return pos_ > start;
  }

  bool Consume(char16_t c) {
    if (pos_ < text_.size() && text_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }

  // Reads between min_digits and max_digits ASCII digits; more digits than
  // max_digits in a row is a failure.
  std::optional<unsigned> Number(size_t min_digits, size_t max_digits) {
    size_t count = 0;
    unsigned value = 0;
    while (pos_ < text_.size() && text_[pos_] >= u'0' && text_[pos_] <= u'9') {
      if (++count > max_digits) return std::nullopt;
      value = value * 10 + static_cast<unsigned>(text_[pos_] - u'0');
      ++pos_;
    }
    if (count < min_digits) return std::nullopt;
    return value;
  }

  // Reads an English three-letter month abbreviation in any letter case;
  // returns 1 to 12.
  std::optional<unsigned> Month() {
    if (text_.size() - pos_ < 3) return std::nullopt;
    for (size_t m = 0; m < kMonthNames.size(); ++m) {
      bool same = true;
      for (size_t i = 0; i < 3 && same; ++i) {
        char16_t c = text_[pos_ + i];
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
        char expected = kMonthNames[m][i];
        if (expected >= 'A' && expected <= 'Z') expected = static_cast<char>(expected - 'A' + 'a');
        same = c == static_cast<char16_t>(expected);
      }
      if (same) {
        pos_ += 3;
        // "Janx" is not a month.
        if (pos_ < text_.size() && text_[pos_] != u' ' && text_[pos_] != u'\t') return std::nullopt;
        return static_cast<unsigned>(m + 1);
      }
    }
    return std::nullopt;
  }

 private:
  std::u16string_view text_;
  size_t pos_ = 0;
};

// Reads "D[D] Mon YYY[Y] [[H]H:MM[:SS]]" with optional blanks around.
std::optional<SYSTEMTIME> ReadDayMonthYearTime(std::u16string_view part) {
  FieldReader reader(part);
  SYSTEMTIME st{};
  reader.SkipBlanks();
  const auto day = reader.Number(1, 2);
  if (!day || !reader.SkipBlanks()) return std::nullopt;
  const auto month = reader.Month();
  if (!month || !reader.SkipBlanks()) return std::nullopt;
  const auto year = reader.Number(3, 4);
  if (!year) return std::nullopt;
  st.wYear = static_cast<WORD>(*year);
  st.wMonth = static_cast<WORD>(*month);
  st.wDay = static_cast<WORD>(*day);
  if (reader.SkipBlanks() && !reader.AtEnd()) {
    const auto hour = reader.Number(1, 2);
    if (!hour || !reader.Consume(u':')) return std::nullopt;
    const auto minute = reader.Number(2, 2);
    if (!minute) return std::nullopt;
    std::optional<unsigned> second = 0u;
    if (reader.Consume(u':')) second = reader.Number(2, 2);
    if (!second) return std::nullopt;
    st.wHour = static_cast<WORD>(*hour);
    st.wMinute = static_cast<WORD>(*minute);
    st.wSecond = static_cast<WORD>(*second);
    reader.SkipBlanks();
  }
  if (!reader.AtEnd() || !IsCalendarValid(st)) return std::nullopt;
  st.wDayOfWeek = static_cast<WORD>(DayOfWeek(st.wYear, st.wMonth, st.wDay));
  return st;
}

}  // namespace

std::u16string FormatFeedDate(DATE date) {
  if (!std::isfinite(date)) return std::u16string(kInvalidDateTimeText);
  SYSTEMTIME st{};
  if (!VariantTimeToSystemTime(date, &st) || !IsCalendarValid(st)) {
    return std::u16string(kInvalidDateTimeText);
  }
  char buffer[64];
  const int length =
      std::snprintf(buffer, sizeof buffer, "%s, %02u %s %u %02u:%02u:%02u GMT",
                    kDayNames[DayOfWeek(st.wYear, st.wMonth, st.wDay)], unsigned{st.wDay},
                    kMonthNames[st.wMonth - 1], unsigned{st.wYear}, unsigned{st.wHour},
                    unsigned{st.wMinute}, unsigned{st.wSecond});
  if (length <= 0 || static_cast<size_t>(length) >= sizeof buffer) {
    return std::u16string(kInvalidDateTimeText);
  }
  return std::u16string(buffer, buffer + length);
}

DATE ParseFeedDate(std::u16string_view text) {
  std::u16string_view part = text;
  const size_t comma = text.find(u", ");
  if (comma != std::u16string_view::npos && comma > 0) {
    const size_t start = comma + 2;
    const size_t suffix = text.find(u" GMT");
    if (suffix == std::u16string_view::npos || suffix < start) return 0.0;
    part = text.substr(start, suffix - start);
  }
  const auto fields = ReadDayMonthYearTime(part);
  if (!fields) return 0.0;
  SYSTEMTIME st = *fields;
  DOUBLE result = 0.0;
  if (!SystemTimeToVariantTime(&st, &result) || !std::isfinite(result)) return 0.0;
  return result;
}

DATE CurrentLocalDate() {
  struct timespec now {};
  if (clock_gettime(CLOCK_REALTIME, &now) != 0) return 0.0;
  struct tm local {};
  if (localtime_r(&now.tv_sec, &local) == nullptr) return 0.0;
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(local.tm_year + 1900);
  st.wMonth = static_cast<WORD>(local.tm_mon + 1);
  st.wDayOfWeek = static_cast<WORD>(local.tm_wday);
  st.wDay = static_cast<WORD>(local.tm_mday);
  st.wHour = static_cast<WORD>(local.tm_hour);
  st.wMinute = static_cast<WORD>(local.tm_min);
  // A leap second reads as the last ordinary second of its minute.
  st.wSecond = static_cast<WORD>(local.tm_sec > 59 ? 59 : local.tm_sec);
  st.wMilliseconds = static_cast<WORD>(now.tv_nsec / 1000000);
  DOUBLE result = 0.0;
  if (!SystemTimeToVariantTime(&st, &result) || !std::isfinite(result)) return 0.0;
  return result;
}

}  // namespace qx::feed

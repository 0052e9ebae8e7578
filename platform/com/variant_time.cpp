// Automation dates <-> calendar fields.
//
// An automation date counts days since 30 December 1899 00:00; its fraction
// is the time of day. For dates before that day the integer part counts days
// backwards while the fraction still runs forward from midnight, so -1.25 is
// 29 December 1899 06:00 and -0.5 is 30 December 1899 12:00. Dates are valid
// from 1 January 100 to 31 December 9999 on the proleptic Gregorian calendar.
#include <cmath>
#include <cstdint>

#include "qxnet/platform.h"

namespace {

// Day numbers of the first and last valid days, counted from 30 Dec 1899.
constexpr int64_t kFirstDay = -657434;  // 1 January 100
constexpr int64_t kLastDay = 2958465;   // 31 December 9999
constexpr int64_t kSecondsPerDay = 86400;
// 30 December 1899 counted from 1 January 1970.
constexpr int64_t kEpochFromUnix = -25569;

// Days from 1970-01-01 to the given civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int64_t* y, unsigned* m, unsigned* d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  *d = doy - (153 * mp + 2) / 5 + 1;
  *m = mp < 10 ? mp + 3 : mp - 9;
  *y = static_cast<int64_t>(yoe) + era * 400 + (*m <= 2);
}

bool IsLeapYear(unsigned y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

unsigned DaysInMonth(unsigned y, unsigned m) {
  static const unsigned kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeapYear(y) ? 29 : kDays[m - 1];
}

}  // namespace

extern "C" {

INT VariantTimeToSystemTime(DOUBLE vtime, SYSTEMTIME* lpSystemTime) {
  if (!lpSystemTime) return FALSE;
  // Range first, so that no out-of-range double is ever converted to an integer.
  if (!std::isfinite(vtime) || vtime <= static_cast<double>(kFirstDay - 1) ||
      vtime >= static_cast<double>(kLastDay + 1))
    return FALSE;
  const double wholeDays = std::trunc(vtime);
  int64_t day = static_cast<int64_t>(wholeDays);
  // The time of day is the distance from the whole day, whichever the sign.
  int64_t seconds =
      static_cast<int64_t>(std::llround(std::fabs(vtime - wholeDays) * kSecondsPerDay));
  if (seconds >= kSecondsPerDay) {
    // Rounded up to midnight: that is the start of the following calendar day.
    seconds -= kSecondsPerDay;
    day += 1;
  }
  if (day < kFirstDay || day > kLastDay) return FALSE;

  int64_t year;
  unsigned month, dayOfMonth;
  CivilFromDays(day + kEpochFromUnix, &year, &month, &dayOfMonth);
  lpSystemTime->wYear = static_cast<WORD>(year);
  lpSystemTime->wMonth = static_cast<WORD>(month);
  lpSystemTime->wDay = static_cast<WORD>(dayOfMonth);
  // 30 December 1899 was a Saturday (6).
  lpSystemTime->wDayOfWeek = static_cast<WORD>(((day + 6) % 7 + 7) % 7);
  lpSystemTime->wHour = static_cast<WORD>(seconds / 3600);
  lpSystemTime->wMinute = static_cast<WORD>(seconds / 60 % 60);
  lpSystemTime->wSecond = static_cast<WORD>(seconds % 60);
  lpSystemTime->wMilliseconds = 0;
  return TRUE;
}

INT SystemTimeToVariantTime(SYSTEMTIME* lpSystemTime, DOUBLE* pvtime) {
  if (!lpSystemTime || !pvtime) return FALSE;
  const SYSTEMTIME& st = *lpSystemTime;
  if (st.wYear < 100 || st.wYear > 9999 || st.wMonth < 1 || st.wMonth > 12 || st.wDay < 1 ||
      st.wDay > DaysInMonth(st.wYear, st.wMonth) || st.wHour > 23 || st.wMinute > 59 ||
      st.wSecond > 59)
    return FALSE;
  // Milliseconds are ignored: automation dates carry whole seconds here.
  const int64_t day = DaysFromCivil(st.wYear, st.wMonth, st.wDay) - kEpochFromUnix;
  const double timeOfDay =
      static_cast<double>(st.wHour * 3600 + st.wMinute * 60 + st.wSecond) / kSecondsPerDay;
  *pvtime = day < 0 ? static_cast<double>(day) - timeOfDay : static_cast<double>(day) + timeOfDay;
  return TRUE;
}

}  // extern "C"

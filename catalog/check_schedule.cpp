#include "catalog/check_schedule.h"

#include <time.h>

#include <cmath>
#include <cstdint>
#include <optional>

namespace qx::catalog {

namespace {

constexpr int64_t kSecondsPerDay = int64_t{24} * 60 * 60;

// Seconds since the epoch of a local calendar time, or none when the time
// functions give no count for it (before 1970, or out of their range).
std::optional<int64_t> SecondsSinceEpoch(const SYSTEMTIME& local) {
  if (local.wYear < 1900) return 0;  // years before 1900 count from the epoch
  struct tm fields {};
  fields.tm_year = local.wYear - 1900;
  fields.tm_mon = local.wMonth - 1;
  fields.tm_mday = local.wDay;
  fields.tm_hour = local.wHour;
  fields.tm_min = local.wMinute;
  fields.tm_sec = local.wSecond;
  fields.tm_isdst = -1;  // the zone's rules decide whether summer time applies
  const time_t count = mktime(&fields);
  if (count < 0) return std::nullopt;  // also mktime's failure value -1
  return static_cast<int64_t>(count);
}

// The automation date of a count of seconds, as local time; none when the
// count is negative or has no local calendar form in the automation range.
std::optional<DATE> LocalDateOf(int64_t count) {
  if (count < 0) return std::nullopt;
  const time_t when = static_cast<time_t>(count);
  if (static_cast<int64_t>(when) != count) return std::nullopt;
  struct tm local {};
  if (localtime_r(&when, &local) == nullptr) return std::nullopt;
  const int64_t year = static_cast<int64_t>(local.tm_year) + 1900;
  if (year < 100 || year > 9999) return std::nullopt;
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(year);
  st.wMonth = static_cast<WORD>(local.tm_mon + 1);
  st.wDay = static_cast<WORD>(local.tm_mday);
  st.wHour = static_cast<WORD>(local.tm_hour);
  st.wMinute = static_cast<WORD>(local.tm_min);
  st.wSecond = static_cast<WORD>(local.tm_sec > 59 ? 59 : local.tm_sec);
  DOUBLE result = 0.0;
  if (!SystemTimeToVariantTime(&st, &result) || !std::isfinite(result)) return std::nullopt;
  return result;
}

}  // namespace

DATE NextCheckDate(DATE lastCheck, LONG intervalDays, DATE now) {
  SYSTEMTIME last{};
  if (!VariantTimeToSystemTime(lastCheck, &last)) return now;
  const std::optional<int64_t> start = SecondsSinceEpoch(last);
  if (!start) return now;
  // At most 2^31 days of 86,400 seconds: no overflow in 64 bits.
  const int64_t sum = *start + static_cast<int64_t>(intervalDays) * kSecondsPerDay;
  return LocalDateOf(sum).value_or(now);
}

}  // namespace qx::catalog

// FILETIME arithmetic: 100-nanosecond ticks since 1601-01-01 UTC.
#include <sys/time.h>
#include <ctime>

#include "net/internet_service/internet_service.h"

namespace qx::inet {
namespace {

constexpr int64_t kTicksPerSecond = 10'000'000;
constexpr int64_t kUnixEpochSeconds = 11'644'473'600;  // 1601 -> 1970

}  // namespace

int64_t FileTimeToInt64(FILETIME time) {
  return static_cast<int64_t>((static_cast<uint64_t>(time.dwHighDateTime) << 32) |
                              time.dwLowDateTime);
}

FILETIME FileTimeFromInt64(int64_t value) {
  const auto bits = static_cast<uint64_t>(value);
  return FILETIME{static_cast<DWORD>(bits & 0xFFFFFFFFu), static_cast<DWORD>(bits >> 32)};
}

bool UnixSecondsToFileTime(int64_t seconds, FILETIME* fileTime) {
  // From 1601 to the end of 30827, the years a SYSTEMTIME can carry (and
  // well inside the signed tick count): any other time must not wrap into
  // some date in range.
  constexpr int64_t kLastSecond = 910'670'515'199;  // 30827-12-31 23:59:59
  if (seconds < -kUnixEpochSeconds || seconds > kLastSecond) return false;
  *fileTime = FileTimeFromInt64((seconds + kUnixEpochSeconds) * kTicksPerSecond);
  return true;
}

FILETIME FileTimeFromUnixSeconds(int64_t seconds) {
  FILETIME fileTime{};
  UnixSecondsToFileTime(seconds, &fileTime);
  return fileTime;
}

FILETIME GetSystemTimeAsFileTime() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return FileTimeFromInt64(
      (static_cast<int64_t>(now.tv_sec) + kUnixEpochSeconds) * kTicksPerSecond + now.tv_nsec / 100);
}

BOOL SystemTimeToFileTime(const SYSTEMTIME* systemTime, FILETIME* fileTime) {
  if (systemTime == nullptr || fileTime == nullptr) return FALSE;
  const SYSTEMTIME& st = *systemTime;
  if (st.wYear < 1601 || st.wYear > 30827 || st.wMonth < 1 || st.wMonth > 12 || st.wDay < 1 ||
      st.wDay > 31 || st.wHour > 23 || st.wMinute > 59 || st.wSecond > 59 ||
      st.wMilliseconds > 999) {
    return FALSE;
  }
  std::tm parts{};
  parts.tm_year = st.wYear - 1900;
  parts.tm_mon = st.wMonth - 1;
  parts.tm_mday = st.wDay;
  parts.tm_hour = st.wHour;
  parts.tm_min = st.wMinute;
  parts.tm_sec = st.wSecond;
  const time_t seconds = timegm(&parts);
  // timegm normalises out-of-range days (31 April); such a date is invalid.
  if (parts.tm_mday != st.wDay || parts.tm_mon != st.wMonth - 1) return FALSE;
  *fileTime =
      FileTimeFromInt64((static_cast<int64_t>(seconds) + kUnixEpochSeconds) * kTicksPerSecond +
                        static_cast<int64_t>(st.wMilliseconds) * 10'000);
  return TRUE;
}

BOOL FileTimeToSystemTime(const FILETIME* fileTime, SYSTEMTIME* systemTime) {
  if (fileTime == nullptr || systemTime == nullptr) return FALSE;
  const int64_t ticks = FileTimeToInt64(*fileTime);
  if (ticks < 0) return FALSE;
  const time_t seconds = static_cast<time_t>(ticks / kTicksPerSecond - kUnixEpochSeconds);
  std::tm parts{};
  if (gmtime_r(&seconds, &parts) == nullptr) return FALSE;
  systemTime->wYear = static_cast<WORD>(parts.tm_year + 1900);
  systemTime->wMonth = static_cast<WORD>(parts.tm_mon + 1);
  systemTime->wDayOfWeek = static_cast<WORD>(parts.tm_wday);
  systemTime->wDay = static_cast<WORD>(parts.tm_mday);
  systemTime->wHour = static_cast<WORD>(parts.tm_hour);
  systemTime->wMinute = static_cast<WORD>(parts.tm_min);
  systemTime->wSecond = static_cast<WORD>(parts.tm_sec);
  systemTime->wMilliseconds = static_cast<WORD>((ticks % kTicksPerSecond) / 10'000);
  return TRUE;
}

}  // namespace qx::inet

// Automation dates <-> calendar fields at the limits and across the range.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "qxnet/platform.h"

namespace {

SYSTEMTIME Fields(WORD year, WORD month, WORD day, WORD hour = 0, WORD minute = 0,
                  WORD second = 0) {
  SYSTEMTIME st{};
  st.wYear = year;
  st.wMonth = month;
  st.wDay = day;
  st.wHour = hour;
  st.wMinute = minute;
  st.wSecond = second;
  return st;
}

void ExpectFields(double date, WORD year, WORD month, WORD day, WORD hour, WORD minute,
                  WORD second, WORD dayOfWeek) {
  SYSTEMTIME st{};
  ASSERT_TRUE(VariantTimeToSystemTime(date, &st)) << date;
  EXPECT_EQ(st.wYear, year) << date;
  EXPECT_EQ(st.wMonth, month) << date;
  EXPECT_EQ(st.wDay, day) << date;
  EXPECT_EQ(st.wHour, hour) << date;
  EXPECT_EQ(st.wMinute, minute) << date;
  EXPECT_EQ(st.wSecond, second) << date;
  EXPECT_EQ(st.wDayOfWeek, dayOfWeek) << date;
  EXPECT_EQ(st.wMilliseconds, 0) << date;
}

TEST(VariantTime, KnownDatesAndNegativeDates) {
  ExpectFields(0.0, 1899, 12, 30, 0, 0, 0, 6);
  ExpectFields(1.0, 1899, 12, 31, 0, 0, 0, 0);
  ExpectFields(36892.75, 2001, 1, 1, 18, 0, 0, 1);
  ExpectFields(-1.25, 1899, 12, 29, 6, 0, 0, 5);
  ExpectFields(-0.5, 1899, 12, 30, 12, 0, 0, 6);
  ExpectFields(-657434.0, 100, 1, 1, 0, 0, 0, 5);
  ExpectFields(2958465.0 + 86399.0 / 86400, 9999, 12, 31, 23, 59, 59, 5);
  // Rounded to the nearest second, carrying into the next day.
  ExpectFields(1.0 + 0.4 / 86400, 1899, 12, 31, 0, 0, 0, 0);
  ExpectFields(1.0 + 86399.6 / 86400, 1900, 1, 1, 0, 0, 0, 1);
  ExpectFields(-1.0 - 86399.6 / 86400, 1899, 12, 30, 0, 0, 0, 6);
}

TEST(VariantTime, OutOfRangeAndNonFiniteAreRejected) {
  SYSTEMTIME st{};
  for (double bad : {-657435.0, 2958466.0, 2958465.0 + 86399.7 / 86400, 1e300, -1e300,
                     std::numeric_limits<double>::quiet_NaN(),
                     std::numeric_limits<double>::infinity(),
                     -std::numeric_limits<double>::infinity()}) {
    EXPECT_FALSE(VariantTimeToSystemTime(bad, &st)) << bad;
  }
  EXPECT_FALSE(VariantTimeToSystemTime(1.0, nullptr));

  double date = 0;
  for (SYSTEMTIME invalid : {Fields(99, 12, 31), Fields(10000, 1, 1), Fields(2001, 0, 1),
                             Fields(2001, 13, 1), Fields(2001, 2, 29), Fields(1900, 2, 29),
                             Fields(2001, 4, 31), Fields(2001, 1, 0), Fields(2001, 1, 1, 24),
                             Fields(2001, 1, 1, 0, 60), Fields(2001, 1, 1, 0, 0, 60)}) {
    EXPECT_FALSE(SystemTimeToVariantTime(&invalid, &date))
        << invalid.wYear << "-" << invalid.wMonth << "-" << invalid.wDay;
  }
  SYSTEMTIME leap = Fields(2000, 2, 29);
  EXPECT_TRUE(SystemTimeToVariantTime(&leap, &date));
}

TEST(VariantTime, FieldsToDates) {
  double date = 0;
  SYSTEMTIME st = Fields(1899, 12, 29, 6);
  ASSERT_TRUE(SystemTimeToVariantTime(&st, &date));
  EXPECT_DOUBLE_EQ(date, -1.25);
  st = Fields(100, 1, 1);
  ASSERT_TRUE(SystemTimeToVariantTime(&st, &date));
  EXPECT_EQ(date, -657434.0);
  st = Fields(9999, 12, 31, 23, 59, 59);
  ASSERT_TRUE(SystemTimeToVariantTime(&st, &date));
  EXPECT_DOUBLE_EQ(date, 2958465.0 + 86399.0 / 86400);
  // Milliseconds are ignored.
  st = Fields(2001, 1, 1, 18);
  st.wMilliseconds = 999;
  ASSERT_TRUE(SystemTimeToVariantTime(&st, &date));
  EXPECT_EQ(date, 36892.75);
}

TEST(VariantTime, RoundTripsToTheSecondAcrossTheRange) {
  // Dates spread over the whole range, each at an odd time of day.
  for (int64_t day = -657434; day <= 2958465; day += 9973) {
    for (int seconds : {0, 1, 3599, 43200, 86399}) {
      const double fraction = seconds / 86400.0;
      const double date = day < 0 ? day - fraction : day + fraction;
      SYSTEMTIME st{};
      ASSERT_TRUE(VariantTimeToSystemTime(date, &st)) << date;
      EXPECT_EQ(st.wHour * 3600 + st.wMinute * 60 + st.wSecond, seconds) << date;
      double back = 0;
      ASSERT_TRUE(SystemTimeToVariantTime(&st, &back)) << date;
      SYSTEMTIME again{};
      ASSERT_TRUE(VariantTimeToSystemTime(back, &again));
      EXPECT_EQ(std::fabs(back - date) * 86400 < 0.5, true) << date << " " << back;
      EXPECT_EQ(again.wYear, st.wYear);
      EXPECT_EQ(again.wMonth, st.wMonth);
      EXPECT_EQ(again.wDay, st.wDay);
      EXPECT_EQ(again.wSecond, st.wSecond);
    }
  }
}

}  // namespace

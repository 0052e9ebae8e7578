// Automation dates <-> calendar fields at the limits and across the range.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "qxnet/platform.h"

namespace {

SYSTEMTIME Fields(WORD year, WORD month, WORD day, WORD hour = 0, WORD minute = 0,
                  WORD second = 0) {
  return SYSTEMTIME{year, month, /*wDayOfWeek=*/0, day, hour, minute, second, 0};
}

TEST(VariantTime, KnownDatesBothWays) {
  const struct {
    double date;
    WORD year, month, day, hour, minute, second, dayOfWeek;
    bool exact;  // the fields convert back to the same date
  } cases[] = {
      {0.0, 1899, 12, 30, 0, 0, 0, 6, true},
      {36892.75, 2001, 1, 1, 18, 0, 0, 1, true},
      {-1.25, 1899, 12, 29, 6, 0, 0, 5, true},  // negative: day before, time forward
      {-0.5, 1899, 12, 30, 12, 0, 0, 6, false},
      {-657434.0, 100, 1, 1, 0, 0, 0, 5, true},
      {2958465.0 + 86399.0 / 86400, 9999, 12, 31, 23, 59, 59, 5, true},
      // Rounded to the nearest second, carrying into the next day.
      {1.0 + 0.4 / 86400, 1899, 12, 31, 0, 0, 0, 0, false},
      {1.0 + 86399.6 / 86400, 1900, 1, 1, 0, 0, 0, 1, false},
      {-1.0 - 86399.6 / 86400, 1899, 12, 30, 0, 0, 0, 6, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.date);
    SYSTEMTIME st{};
    ASSERT_TRUE(VariantTimeToSystemTime(c.date, &st));
    EXPECT_EQ(
        (std::vector<WORD>{st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond,
                           st.wDayOfWeek, st.wMilliseconds}),
        (std::vector<WORD>{c.year, c.month, c.day, c.hour, c.minute, c.second, c.dayOfWeek, 0}));
    if (!c.exact) continue;
    st.wMilliseconds = 999;  // ignored
    double back = 0;
    ASSERT_TRUE(SystemTimeToVariantTime(&st, &back));
    EXPECT_DOUBLE_EQ(back, c.date);
  }
}

TEST(VariantTime, OutOfRangeAndNonFiniteAreRejected) {
  SYSTEMTIME st{};
  for (double bad :
       {-657435.0, 2958466.0, 2958465.0 + 86399.7 / 86400, 1e300, -1e300,
        std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
        -std::numeric_limits<double>::infinity()}) {
    EXPECT_FALSE(VariantTimeToSystemTime(bad, &st)) << bad;
  }
  EXPECT_FALSE(VariantTimeToSystemTime(1.0, nullptr));

  double date = 0;
  for (SYSTEMTIME invalid :
       {Fields(99, 12, 31), Fields(10000, 1, 1), Fields(2001, 0, 1), Fields(2001, 13, 1),
        Fields(2001, 2, 29), Fields(1900, 2, 29), Fields(2001, 4, 31), Fields(2001, 1, 0),
        Fields(2001, 1, 1, 24), Fields(2001, 1, 1, 0, 60), Fields(2001, 1, 1, 0, 0, 60)}) {
    EXPECT_FALSE(SystemTimeToVariantTime(&invalid, &date))
        << invalid.wYear << "-" << invalid.wMonth << "-" << invalid.wDay;
  }
  SYSTEMTIME leap = Fields(2000, 2, 29);
  EXPECT_TRUE(SystemTimeToVariantTime(&leap, &date));
}

TEST(VariantTime, RoundTripsToTheSecondAcrossTheRange) {
  for (int64_t day = -657434; day <= 2958465; day += 9973) {
    for (int seconds : {0, 1, 43200, 86399}) {
      const double fraction = seconds / 86400.0;
      const double date = day < 0 ? day - fraction : day + fraction;
      SYSTEMTIME st{};
      ASSERT_TRUE(VariantTimeToSystemTime(date, &st)) << date;
      EXPECT_EQ(st.wHour * 3600 + st.wMinute * 60 + st.wSecond, seconds) << date;
      double back = 0;
      ASSERT_TRUE(SystemTimeToVariantTime(&st, &back)) << date;
      EXPECT_LT(std::fabs(back - date) * 86400, 0.5) << date << " " << back;
    }
  }
}

}  // namespace

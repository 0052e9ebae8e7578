#include "feed/feed_date.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

#include "tests/support/com_test.h"
#include "tests/support/german_locale.h"

namespace {

using qx::feed::CurrentLocalDate;
using qx::feed::FormatFeedDate;
using qx::feed::ParseFeedDate;
using qxtest::Narrow;

constexpr double kSecond = 1.0 / 86400.0;

TEST(FeedDateFormat, KnownDatesWithEnglishNamesAndUnrepresentableOnes) {
  const std::pair<double, const char*> known[] = {
      {0.0, "Sat, 30 Dec 1899 00:00:00 GMT"},
      {2.5, "Mon, 01 Jan 1900 12:00:00 GMT"},
      {45351.0 + 86399.0 * kSecond, "Thu, 29 Feb 2024 23:59:59 GMT"},  // a leap day
      {45351.5 + 0.3 * kSecond, "Thu, 29 Feb 2024 12:00:00 GMT"},      // fraction hidden
      {-657434.0, "Fri, 01 Jan 100 00:00:00 GMT"},                     // first day
      {2958465.0, "Fri, 31 Dec 9999 00:00:00 GMT"},                    // last day
      {-1.25, "Fri, 29 Dec 1899 06:00:00 GMT"}};
  for (const auto& [date, text] : known) EXPECT_EQ(Narrow(FormatFeedDate(date)), text);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  for (double date : {nan, inf, -inf, 1e300, -1e300, 2958466.0, -657435.0,
                      std::numeric_limits<double>::max(), std::numeric_limits<double>::lowest()}) {
    EXPECT_EQ(FormatFeedDate(date), u"Invalid DateTime") << date;
  }
}

TEST(FeedDateRoundTrip, FormatThenParseGivesTheSameSecond) {
  for (double date : {1.0, 2.5, 36526.0 + 13 * 3600 * kSecond, 45351.0 + 86399.0 * kSecond,
                      -657434.0, 2958465.0 + 86399.0 * kSecond, -1.25, 45000.123456}) {
    const std::u16string text = FormatFeedDate(date);
    const double back = ParseFeedDate(text);
    EXPECT_NEAR(back, date, 0.5 * kSecond + 1e-9) << Narrow(text);
    EXPECT_EQ(FormatFeedDate(back), text);
  }
}

TEST(FeedDateFormat, IgnoresTheProcessLocale) {
  const char* previous = std::setlocale(LC_ALL, nullptr);
  const std::string saved = previous ? previous : "C";
  if (!qxtest::UseGermanLocale()) GTEST_SKIP() << "no non-C locale is available";
  // The locale really names days in another language.
  struct tm thursday {};
  thursday.tm_wday = 4;
  char local_name[32] = {};
  strftime(local_name, sizeof local_name, "%a", &thursday);
  const std::u16string text = FormatFeedDate(45351.5);
  const double back = ParseFeedDate(u"Do, 29 Feb 2024 12:00:00 GMT");
  std::setlocale(LC_ALL, saved.c_str());
  EXPECT_STRNE(local_name, "Thu") << "the German locale is not in effect";
  EXPECT_EQ(Narrow(text), "Thu, 29 Feb 2024 12:00:00 GMT")
      << "German names Thursday " << local_name;
  EXPECT_DOUBLE_EQ(back, 45351.5);
}

TEST(FeedDateParse, CommaAndSuffixRules) {
  const std::pair<const char16_t*, double> cases[] = {
      // The day name is dropped unchecked, and so is everything from " GMT" on.
      {u"Thu, 29 Feb 2024 12:00:00 GMT", 45351.5},
      {u"Xyz, 29 Feb 2024 12:00:00 GMT and more", 45351.5},
      // Without a comma the whole text is read.
      {u"29 Feb 2024 12:00:00", 45351.5},
      {u"  29 feb 2024 12:00  ", 45351.5},
      {u"29 Feb 2024", 45351.0},
      // A numeric zone, a lower-case suffix or a missing suffix leaves nothing.
      {u"Thu, 29 Feb 2024 12:00:00 +0000", 0.0},
      {u"Thu, 29 Feb 2024 12:00:00 gmt", 0.0},
      {u"Thu, 29 Feb 2024 12:00:00", 0.0},
      {u"X GMT, 29 Feb 2024 12:00:00", 0.0},  // " GMT" before the comma
      {u", 29 Feb 2024 12:00:00 GMT", 0.0},   // comma first: the whole text fails
      {u"29 Feb 2024 12:00:00 GMT", 0.0}};    // whole text with a suffix
  for (const auto& [text, date] : cases)
    EXPECT_DOUBLE_EQ(ParseFeedDate(text), date) << Narrow(text);
}

TEST(FeedDateParse, MalformedTextsReadAsZero) {
  const char16_t* bad[] = {
      u"", u"Thu, ", u"Thu,  GMT", u"29 Feb", u"29 February 2024 12:00:00", u"29 Fev 2024 12:00:00",
      u"30 Feb 2024 12:00:00", u"29 Feb 2023 12:00:00", u"0 Jan 2024 12:00:00",
      u"32 Jan 2024 12:00:00", u"1 Jan 24 12:00:00", u"1 Jan 12345 12:00:00",
      u"1 Jan 0099 12:00:00", u"1 Jan 2024 24:00:00", u"1 Jan 2024 12:60:00",
      u"1 Jan 2024 12:00:60", u"1 Jan 2024 12:0:00", u"1 Jan 2024 12:00:00:00", u"1 Jan 2024 12",
      u"1 Jan 2024 12:00 pm", u"1Jan 2024", u"1 Jan2024", u"001 Jan 2024", u"-1 Jan 2024",
      u"\u0661 Jan 2024",  // non-ASCII digit
      u"1 Ja\u00f1 2024",
      // A real 30 Dec 1899 00:00:00 is indistinguishable from unreadable.
      u"Sat, 30 Dec 1899 00:00:00 GMT", u"Invalid DateTime"};
  for (const char16_t* text : bad) {
    EXPECT_EQ(ParseFeedDate(text), 0.0) << Narrow(text);
  }
  // Embedded zeros and lone surrogates are just unreadable characters.
  EXPECT_EQ(ParseFeedDate(std::u16string(u"1 Jan\0 2024", 11)), 0.0);
  EXPECT_EQ(ParseFeedDate(std::u16string(1, char16_t(0xD800)) + u" Jan 2024"), 0.0);
}

TEST(FeedDateCurrent, IsTheLocalWallClock) {
  const double now = CurrentLocalDate();
  ASSERT_NE(now, 0.0);
  const time_t seconds = time(nullptr);
  struct tm local {};
  ASSERT_NE(localtime_r(&seconds, &local), nullptr);
  // Compare the formatted day and minute; allow the minute to roll over
  // between the two clock reads by reading the date once more.
  const std::string formatted = Narrow(FormatFeedDate(now));
  const std::string month_names = "JanFebMarAprMayJunJulAugSepOctNovDec";
  char expected[64];
  snprintf(expected, sizeof expected, "%02d %s %d %02d:%02d", local.tm_mday,
           month_names.substr(static_cast<size_t>(local.tm_mon) * 3, 3).c_str(),
           local.tm_year + 1900, local.tm_hour, local.tm_min);
  const std::string again = Narrow(FormatFeedDate(CurrentLocalDate()));
  EXPECT_TRUE(formatted.find(expected) != std::string::npos ||
              again.find(expected) != std::string::npos)
      << formatted << " vs " << expected;
}

}  // namespace

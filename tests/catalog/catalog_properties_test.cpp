// Catalog properties and the check schedule, including both daylight-saving
// changes of a zone that has them.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <time.h>

#include <tuple>

#include "tests/support/feed_fixture.h"

namespace {

using namespace feedtest;
using qx::BStr;
using qx::ComPtr;
using C = IUpdateCatalog;

constexpr double kSecond = 1.0 / 86400;

class CatalogPropertiesTest : public qxtest::ObjectTest<IUpdateCatalog, CLSID_UpdateCatalog> {
 protected:
  qx::ComPtr<IUpdateCatalog>& catalog = object;

  static void SetZone(const char* zone) {
    ::setenv("TZ", zone, 1);
    ::tzset();
  }

  // The next check date of a catalog whose lastCheckDate and checkInterval come from a file.
  static DATE NextAfter(const std::string& lastCheck, LONG interval) {
    const std::string file = TempPath("schedule.xml");
    WriteFile(file, "<updatecatalog><checkinterval>" + std::to_string(interval) +
                        "</checkinterval><lastcheckdate>" + lastCheck +
                        "</lastcheckdate></updatecatalog>");
    auto c = qxtest::Create<IUpdateCatalog>(CLSID_UpdateCatalog);
    c->put_fileName(Wide(file).Get());
    EXPECT_EQ(c->Load(), S_OK);
    return Get(c.Get(), &C::get_nextCheckDate);
  }
  bool Due() {
    const VARIANT_BOOL due = Get(catalog.Get(), &C::get_timeToCheck);
    EXPECT_TRUE(due == VARIANT_TRUE || due == VARIANT_FALSE);
    return due == VARIANT_TRUE;
  }
};

TEST_F(CatalogPropertiesTest, FreshCatalogHasItsDefaultsAndIsDue) {
  C* c = catalog.Get();
  EXPECT_EQ(std::tuple(Get(c, &C::get_checkInterval), Get(c, &C::get_fileFormatVersion),
                       Get(c, &C::get_shouldUpdate), Get(c, &C::get_publishDate),
                       Get(c, &C::get_nextCheckDate)),
            std::tuple(1, 1, VARIANT_BOOL(VARIANT_TRUE), 0.0, 0.0));
  EXPECT_NEAR(Get(c, &C::get_lastCheckDate), qx::feed::CurrentLocalDate(), 60 * kSecond);
  EXPECT_TRUE(Due());
  BStr text(u"x");
  c->get_fileName(text.Put());
  EXPECT_TRUE(text.IsNull());
}

TEST_F(CatalogPropertiesTest, NullPointersStringsFlagAndLists) {
  EXPECT_EQ(catalog->ReconcileWithUpdateDocument(nullptr), E_POINTER);

  const char16_t withZero[] = u"abc\0def";
  catalog->put_feedUrl(BStr(std::u16string_view(withZero, 7)).Get());
  EXPECT_EQ(Text(catalog.Get(), &C::get_feedUrl), "abc");  // up to the first zero
  catalog->put_shouldUpdate(1);
  EXPECT_EQ(Get(catalog.Get(), &C::get_shouldUpdate), 1);  // stored as given

  // The lists are the catalog's own collections.
  auto first = Pending(catalog.Get());
  EXPECT_EQ(first.Get(), Pending(catalog.Get()).Get());
  first->Add(MakeItem("a").Get());
  EXPECT_EQ(Guids(Pending(catalog.Get()).Get()), std::vector<std::string>{"a"});
  EXPECT_NE(Installed(catalog.Get()).Get(), Discarded(catalog.Get()).Get());
}

TEST_F(CatalogPropertiesTest, IntervalArithmeticWithoutDaylightSaving) {
  SetZone("UTC0");
  catalog->put_checkInterval(7);
  ASSERT_EQ(catalog->UpdateLastCheckDate(), S_OK);
  const DATE last = Get(catalog.Get(), &C::get_lastCheckDate);
  EXPECT_NEAR(Get(catalog.Get(), &C::get_nextCheckDate), last + 7, kSecond);
  EXPECT_FALSE(Due());
  catalog->put_checkInterval(0);
  EXPECT_NEAR(Get(catalog.Get(), &C::get_nextCheckDate), last, kSecond);
  EXPECT_TRUE(Due());
  catalog->put_checkInterval(-1);
  EXPECT_NEAR(Get(catalog.Get(), &C::get_nextCheckDate), last - 1, kSecond);
}

TEST_F(CatalogPropertiesTest, DatesOutsideTheTimeFunctionsScheduleNowOrTheEpoch) {
  SetZone("UTC0");
  EXPECT_NEAR(NextAfter("Sat, 30 Dec 1899 00:00:00 GMT", 2), 25569.0 + 2, kSecond);
  const DATE now = qx::feed::CurrentLocalDate();
  const std::pair<const char*, LONG> nowCases[] = {
      {"Mon, 01 Jan 1900 00:00:00 GMT", 7},
      {"Wed, 31 Dec 1969 23:59:59 GMT", 7},
      {"Fri, 31 Dec 9999 00:00:00 GMT", 7},
      {"Sat, 30 Dec 1899 00:00:00 GMT", -1}};  // before the epoch once the interval is taken off
  for (const auto& [date, interval] : nowCases) {
    EXPECT_NEAR(NextAfter(date, interval), now, 60 * kSecond) << date;
  }
  SetZone("EST5");
  EXPECT_NEAR(NextAfter("Sat, 30 Dec 1899 00:00:00 GMT", 0), 25569.0 - 5.0 / 24, kSecond);
}

TEST_F(CatalogPropertiesTest, DaylightSavingChangesMoveTheHour) {
  SetZone("CET-1CEST,M3.5.0,M10.5.0/3");
  const std::pair<const char*, const char*> cases[] = {
      {"Sun, 22 Mar 2026 12:00:00 GMT", "Sun, 29 Mar 2026 13:00:00 GMT"},   // spring
      {"Sun, 01 Mar 2026 12:00:00 GMT", "Sun, 08 Mar 2026 12:00:00 GMT"},   // no change
      {"Sun, 18 Oct 2026 12:00:00 GMT", "Sun, 25 Oct 2026 11:00:00 GMT"}};  // autumn
  for (const auto& [last, next] : cases) {
    EXPECT_NEAR(NextAfter(last, 7), Date(next), kSecond) << last;
  }
}

}  // namespace

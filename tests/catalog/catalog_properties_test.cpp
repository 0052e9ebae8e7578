// Catalog properties and the check schedule, including both daylight-saving
// changes of a zone that has them.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <time.h>

#include "tests/catalog/catalog_test_util.h"

namespace {

using namespace qxtest::catalog;
using qx::BStr;
using qx::ComPtr;

constexpr double kSecond = 1.0 / 86400;

class CatalogPropertiesTest : public qxtest::ComTest {
 protected:
  void SetUp() override {
    qxtest::ComTest::SetUp();
    catalog = qxtest::Create<IUpdateCatalog>(CLSID_UpdateCatalog);
    ASSERT_TRUE(catalog);
  }
  void TearDown() override {
    catalog = nullptr;
    qxtest::ComTest::TearDown();
  }

  static void SetZone(const char* zone) {
    ::setenv("TZ", zone, 1);
    ::tzset();
  }

  // A catalog whose lastCheckDate and checkInterval come from a file.
  ComPtr<IUpdateCatalog> Scheduled(const std::string& lastCheck, LONG interval) {
    const std::string file = Path("schedule.xml");
    WriteFile(file, "<updatecatalog><checkinterval>" + std::to_string(interval) +
                        "</checkinterval><lastcheckdate>" + lastCheck +
                        "</lastcheckdate></updatecatalog>");
    auto c = qxtest::Create<IUpdateCatalog>(CLSID_UpdateCatalog);
    c->put_fileName(Wide(file).Get());
    EXPECT_EQ(c->Load(), S_OK);
    return c;
  }

  static DATE Next(IUpdateCatalog* c) {
    DATE next = -1;
    EXPECT_EQ(c->get_nextCheckDate(&next), S_OK);
    return next;
  }
  static bool Due(IUpdateCatalog* c) {
    VARIANT_BOOL due = 1;
    EXPECT_EQ(c->get_timeToCheck(&due), S_OK);
    EXPECT_TRUE(due == VARIANT_TRUE || due == VARIANT_FALSE);
    return due == VARIANT_TRUE;
  }

  ComPtr<IUpdateCatalog> catalog;
};

TEST_F(CatalogPropertiesTest, FreshCatalogHasItsDefaultsAndIsDue) {
  LONG n = 0;
  catalog->get_checkInterval(&n);
  EXPECT_EQ(n, 1);
  catalog->get_fileFormatVersion(&n);
  EXPECT_EQ(n, 1);
  VARIANT_BOOL enabled = 0;
  catalog->get_shouldUpdate(&enabled);
  EXPECT_EQ(enabled, VARIANT_TRUE);
  DATE d = -1;
  catalog->get_publishDate(&d);
  EXPECT_EQ(d, 0.0);
  EXPECT_EQ(Next(catalog.Get()), 0.0);
  catalog->get_lastCheckDate(&d);
  EXPECT_NEAR(d, qx::feed::CurrentLocalDate(), 60 * kSecond);
  EXPECT_TRUE(Due(catalog.Get()));
  BStr text(u"x");
  catalog->get_fileName(text.Put());
  EXPECT_TRUE(text.IsNull());
}

TEST_F(CatalogPropertiesTest, NullResultPointersReportInvalidParameter) {
  EXPECT_EQ(catalog->get_feedUrl(nullptr), E_POINTER);
  const auto record = qxtest::TakeErrorRecord();
  EXPECT_EQ(qxtest::Narrow(record.description), "Invalid parameter");
  EXPECT_EQ(record.iid, IID_IUpdateCatalog);
  EXPECT_EQ(qxtest::Narrow(record.source), "QXNet.UpdateCatalog.1");
  EXPECT_EQ(catalog->get_timeToCheck(nullptr), E_POINTER);
  EXPECT_EQ(catalog->get_nextCheckDate(nullptr), E_POINTER);
  EXPECT_EQ(catalog->get_NotInstalledItems(nullptr), E_POINTER);
  EXPECT_EQ(catalog->ReconcileWithUpdateDocument(nullptr), E_POINTER);
}

TEST_F(CatalogPropertiesTest, StringsAndStoredFlag) {
  const char16_t withZero[] = u"abc\0def";
  BStr value(std::u16string_view(withZero, 7));
  catalog->put_feedUrl(value.Get());
  BStr read;
  catalog->get_feedUrl(read.Put());
  EXPECT_EQ(read.Utf8(), "abc");  // up to the first zero character
  catalog->put_feedUrl(nullptr);
  catalog->get_feedUrl(read.Put());
  EXPECT_TRUE(read.IsNull());

  catalog->put_shouldUpdate(1);
  VARIANT_BOOL flag = 0;
  catalog->get_shouldUpdate(&flag);
  EXPECT_EQ(flag, 1);
}

TEST_F(CatalogPropertiesTest, ListsAreTheCatalogsOwnCollections) {
  auto first = Pending(catalog.Get());
  auto second = Pending(catalog.Get());
  EXPECT_EQ(first.Get(), second.Get());
  first->Add(MakeItem("a").Get());
  EXPECT_EQ(Guids(Pending(catalog.Get()).Get()), std::vector<std::string>{"a"});
  EXPECT_NE(Installed(catalog.Get()).Get(), Discarded(catalog.Get()).Get());
}

TEST_F(CatalogPropertiesTest, IntervalArithmeticWithoutDaylightSaving) {
  SetZone("UTC0");
  catalog->put_checkInterval(7);
  ASSERT_EQ(catalog->UpdateLastCheckDate(), S_OK);
  DATE last = 0;
  catalog->get_lastCheckDate(&last);
  EXPECT_NEAR(Next(catalog.Get()), last + 7, kSecond);
  EXPECT_FALSE(Due(catalog.Get()));

  catalog->put_checkInterval(0);
  EXPECT_NEAR(Next(catalog.Get()), last, kSecond);
  EXPECT_TRUE(Due(catalog.Get()));

  catalog->put_checkInterval(-1);
  EXPECT_NEAR(Next(catalog.Get()), last - 1, kSecond);
}

TEST_F(CatalogPropertiesTest, DateBefore1900CountsFromTheEpoch) {
  SetZone("UTC0");
  auto c = Scheduled("Sat, 30 Dec 1899 00:00:00 GMT", 2);
  EXPECT_NEAR(Next(c.Get()), 25569.0 + 2, kSecond);  // 3 January 1970
  SetZone("EST5");
  c = Scheduled("Sat, 30 Dec 1899 00:00:00 GMT", 0);
  EXPECT_NEAR(Next(c.Get()), 25569.0 - 5.0 / 24, kSecond);  // the epoch in local time
}

TEST_F(CatalogPropertiesTest, DatesWithoutATimeCountScheduleNow) {
  SetZone("UTC0");
  const DATE now = qx::feed::CurrentLocalDate();
  for (const char* date : {"Mon, 01 Jan 1900 00:00:00 GMT", "Wed, 31 Dec 1969 23:59:59 GMT",
                           "Fri, 31 Dec 9999 00:00:00 GMT"}) {
    auto c = Scheduled(date, 7);
    EXPECT_NEAR(Next(c.Get()), now, 60 * kSecond) << date;
  }
  // Before the epoch after the interval is taken off.
  auto c = Scheduled("Sat, 30 Dec 1899 00:00:00 GMT", -1);
  EXPECT_NEAR(Next(c.Get()), now, 60 * kSecond);
}

TEST_F(CatalogPropertiesTest, SpringChangeMovesTheHourForward) {
  SetZone("CET-1CEST,M3.5.0,M10.5.0/3");
  auto c = Scheduled("Sun, 22 Mar 2026 12:00:00 GMT", 7);
  EXPECT_NEAR(Next(c.Get()), Date("Sun, 29 Mar 2026 13:00:00 GMT"), kSecond);
  c = Scheduled("Sun, 01 Mar 2026 12:00:00 GMT", 7);  // no change in between
  EXPECT_NEAR(Next(c.Get()), Date("Sun, 08 Mar 2026 12:00:00 GMT"), kSecond);
}

TEST_F(CatalogPropertiesTest, AutumnChangeMovesTheHourBack) {
  SetZone("CET-1CEST,M3.5.0,M10.5.0/3");
  auto c = Scheduled("Sun, 18 Oct 2026 12:00:00 GMT", 7);
  EXPECT_NEAR(Next(c.Get()), Date("Sun, 25 Oct 2026 11:00:00 GMT"), kSecond);
}

}  // namespace

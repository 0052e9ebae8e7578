// The payload data of catalog items: kept across save and load on its own
// line of the item. A catalog without it is written as the file test shows.
#include <gtest/gtest.h>

#include <tuple>

#include "tests/support/feed_fixture.h"

namespace {

using namespace feedtest;
using qx::BStr;
using qx::ComPtr;
using namespace std::literals;

class CatalogEnclosureTest : public qxtest::ComTest {
 protected:
  ComPtr<IUpdateCatalog> NewCatalog() {
    auto c = qxtest::Create<IUpdateCatalog>(CLSID_UpdateCatalog);
    EXPECT_EQ(c->put_fileName(Wide(TempPath("enclosure_catalog.xml")).Get()), S_OK);
    return c;
  }
};

TEST_F(CatalogEnclosureTest, PayloadDataSurvivesSaveAndLoadOnItsOwnLine) {
  auto catalog = NewCatalog();
  auto item = MakeItem("g-1", Date("Mon, 01 Jun 2026 10:20:30 GMT"));
  auto item2 = qx::QueryAs<IUpdateItem2>(item.Get());
  ASSERT_TRUE(item2);
  item2->put_enclosureUrl(Wide("http://x/a.bin?a=1&b=2").Get());
  item2->put_enclosureLength(4096);
  item2->put_sha256(Wide("00ff").Get());
  item2->put_edSignature(Wide("c2ln").Get());
  ASSERT_EQ(Installed(catalog.Get())->Add(item.Get()), S_OK);
  ASSERT_EQ(catalog->Save(), S_OK);
  EXPECT_NE(ReadFile(TempPath("enclosure_catalog.xml"))
                .find("    <pubDate>Mon, 01 Jun 2026 10:20:30 GMT</pubDate>\r\n"
                      "    <enclosure url=\"http://x/a.bin?a=1&amp;b=2\" length=\"4096\""
                      " xmlns:qx=\"urn:qxnet:updates:1\" qx:sha256=\"00ff\""
                      " qx:edSignature=\"c2ln\"></enclosure></item></installeditems>"),
            std::string::npos)
      << ReadFile(TempPath("enclosure_catalog.xml"));

  auto loaded = NewCatalog();
  ASSERT_EQ(loaded->Load(), S_OK);
  std::vector<ComPtr<IUpdateItem>> items = Members(Installed(loaded.Get()).Get());
  ASSERT_EQ(items.size(), 1u);
  auto back = qx::QueryAs<IUpdateItem2>(items[0].Get());
  using I2 = IUpdateItem2;
  EXPECT_EQ(
      std::tuple(Text(back.Get(), &I2::get_enclosureUrl), Text(back.Get(), &I2::get_enclosureType),
                 Text(back.Get(), &I2::get_sha256), Text(back.Get(), &I2::get_edSignature),
                 Get(back.Get(), &I2::get_enclosureLength), Guid(items[0].Get())),
      std::tuple("http://x/a.bin?a=1&b=2"s, ""s, "00ff"s, "c2ln"s, LONGLONG{4096}, "g-1"s));
}

}  // namespace

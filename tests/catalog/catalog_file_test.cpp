// The catalog file: the exact lines written, save-then-load equality, the
// reading rules, huge files, and the atomic, owner-only save.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <random>
#include <tuple>

#include "tests/support/child_processes.h"
#include "tests/support/feed_fixture.h"

namespace {

using namespace feedtest;
using qx::BStr;
using qx::ComPtr;
using C = IUpdateCatalog;
using I = IUpdateItem;
using namespace std::literals;

class CatalogFileTest : public qxtest::ComTest {
 protected:
  void SetUp() override {
    qxtest::ComTest::SetUp();
    file = TempPath("catalog.xml");
    catalog = NewCatalog(file);
  }
  void TearDown() override {
    catalog = nullptr;
    qxtest::ComTest::TearDown();
  }

  static ComPtr<IUpdateCatalog> NewCatalog(const std::string& fileName) {
    auto c = qxtest::Create<IUpdateCatalog>(CLSID_UpdateCatalog);
    EXPECT_EQ(c->put_fileName(Wide(fileName).Get()), S_OK);
    return c;
  }

  // Loads `content` as a catalog file into a fresh catalog.
  ComPtr<IUpdateCatalog> LoadText(const std::string& content, HRESULT expected = S_OK) {
    WriteFile(file, content);
    auto fresh = NewCatalog(file);
    EXPECT_EQ(fresh->Load(), expected);
    return fresh;
  }

  static std::string Wrap(const std::string& inner) {
    return "<?xml version='1.0'?><updatecatalog>" + inner + "</updatecatalog>";
  }

  std::string file;
  ComPtr<IUpdateCatalog> catalog;
};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t at; (at = text.find("\r\n", start)) != std::string::npos; start = at + 2) {
    lines.push_back(text.substr(start, at - start));
  }
  lines.push_back(text.substr(start));
  return lines;
}

TEST_F(CatalogFileTest, SavedFileHasTheDocumentedLines) {
  const DATE pub = Date("Mon, 01 Jun 2026 10:20:30 GMT");
  auto item = MakeItem("g-1", pub, "A & B <c>");
  item->put_required(VARIANT_TRUE);
  item->put_link(Wide("http://x/1").Get());
  item->put_description(Wide("desc").Get());
  item->put_category(Wide("cat").Get());
  ASSERT_EQ(Pending(catalog.Get())->Add(item.Get()), S_OK);
  catalog->put_feedUrl(Wide("http://feed/").Get());
  catalog->put_setTitle(Wide("T").Get());
  catalog->put_tplPassword(Wide("secret").Get());
  catalog->put_checkInterval(7);
  catalog->put_publishDate(pub);
  DATE last = 0;
  catalog->get_lastCheckDate(&last);

  ASSERT_EQ(catalog->Save(), S_OK);
  const std::string lastText = qx::Utf16ToUtf8(qx::feed::FormatFeedDate(last));
  const std::vector<std::string> expected = {
      "<?xml version='1.0'?>",
      "<updatecatalog>",
      "<formatversion>1</formatversion>",
      "<feedurl>http://feed/</feedurl>",
      "<checkinterval>7</checkinterval>",
      "<lastcheckdate>" + lastText + "</lastcheckdate>",
      "<publishdate>Mon, 01 Jun 2026 10:20:30 GMT</publishdate>",
      "<title>T</title>",
      "<enabled>true</enabled>",
      "<password>secret</password>",
      "<notinstalleditems>",
      "  <item required=\"true\">",
      "    <guid>g-1</guid>",
      "    <title>A &amp; B &lt;c&gt;</title>",
      "    <description>desc</description>",
      "    <link>http://x/1</link>",
      "    <category>cat</category>",
      "    <pubDate>Mon, 01 Jun 2026 10:20:30 GMT</pubDate></item></notinstalleditems>",
      "<discardeditems></discardeditems>",
      "<installeditems></installeditems>",
      "</updatecatalog>",
      "",
  };
  EXPECT_EQ(Lines(ReadFile(file)), expected);
}

TEST_F(CatalogFileTest, NewCatalogSavesItsDefaults) {
  catalog->put_shouldUpdate(1);  // a stored 1 is not "true"
  ASSERT_EQ(catalog->Save(), S_OK);
  const std::string text = ReadFile(file);
  for (const char* line : {"<formatversion>1</formatversion>", "<checkinterval>1</checkinterval>",
                           "<feedurl></feedurl>", "<enabled>false</enabled>",
                           "<publishdate>Sat, 30 Dec 1899 00:00:00 GMT</publishdate>"}) {
    EXPECT_NE(text.find(line), std::string::npos) << line;
  }
}

TEST_F(CatalogFileTest, SaveThenLoadReproducesValuesAndItemsInTheirLists) {
  const DATE pub = Date("Sun, 15 Mar 2026 08:00:05 GMT");
  auto a = MakeItem("a", pub, "Title & <a>");
  a->put_required(VARIANT_TRUE);
  a->put_description(Wide("line1\nline2 \xC3\xA9").Get());
  auto b = MakeItem("b", Date("Mon, 16 Mar 2026 08:00:05 GMT"));
  b->put_required(1);
  auto c = MakeItem("c", Date("Tue, 17 Mar 2026 08:00:05 GMT"));
  Pending(catalog.Get())->Add(a.Get());
  Discarded(catalog.Get())->Add(b.Get());
  Installed(catalog.Get())->Add(c.Get());
  catalog->put_feedUrl(Wide("https://example.invalid/feed").Get());
  catalog->put_setTitle(Wide("Corvane <updates>").Get());
  catalog->put_tplPassword(Wide("p&ss").Get());
  catalog->put_checkInterval(3);
  catalog->put_publishDate(pub);
  catalog->put_shouldUpdate(VARIANT_FALSE);
  ASSERT_EQ(catalog->Save(), S_OK);

  auto loaded = NewCatalog(file);
  ASSERT_EQ(loaded->Load(), S_OK);
  C* l = loaded.Get();
  EXPECT_EQ(
      std::tuple(Text(l, &C::get_feedUrl), Text(l, &C::get_setTitle), Text(l, &C::get_tplPassword)),
      std::tuple("https://example.invalid/feed"s, "Corvane <updates>"s, "p&ss"s));
  EXPECT_EQ(std::tuple(Get(l, &C::get_checkInterval), Get(l, &C::get_fileFormatVersion),
                       Get(l, &C::get_shouldUpdate)),
            std::tuple(3, 1, VARIANT_BOOL(VARIANT_FALSE)));
  EXPECT_NEAR(Get(l, &C::get_publishDate), pub, 0.5 / 86400);
  EXPECT_NEAR(Get(l, &C::get_lastCheckDate), Get(catalog.Get(), &C::get_lastCheckDate),
              1.0 / 86400);

  // Each item comes back in its own list with that list's status.
  std::vector<std::string> listed;
  for (const auto& list : {Pending(l), Discarded(l), Installed(l)}) {
    for (const auto& m : Members(list.Get()))
      listed.push_back(Guid(m.Get()) + "/" + Status(m.Get()));
  }
  ASSERT_EQ(listed, (std::vector<std::string>{"a/Pending", "b/Discarded", "c/Installed"}));
  IUpdateItem* p = Members(Pending(l).Get())[0].Get();
  EXPECT_EQ(Get(p, &I::get_required), VARIANT_TRUE);
  EXPECT_EQ(Text(p, &I::get_title), "Title & <a>");
  EXPECT_EQ(Text(p, &I::get_description), "line1\nline2 \xC3\xA9");
  EXPECT_NEAR(Get(p, &I::get_pubDate), pub, 0.5 / 86400);
  EXPECT_EQ(Get(Members(Discarded(l).Get())[0].Get(), &I::get_required),
            VARIANT_FALSE);  // only -1 is written
}

TEST_F(CatalogFileTest, InterpretationOfValues) {
  // No lastcheckdate with an interval of 7: the interval becomes 0, due at once.
  auto c = LoadText(Wrap("<checkinterval>7</checkinterval>"));
  EXPECT_EQ(Get(c.Get(), &C::get_checkInterval), 0);
  EXPECT_EQ(Get(c.Get(), &C::get_timeToCheck), VARIANT_TRUE);
  EXPECT_EQ(Get(c.Get(), &C::get_fileFormatVersion), 1);  // absent

  c =
      LoadText(Wrap("<formatversion>abc</formatversion><checkinterval>  -12xyz</checkinterval>"
                    "<lastcheckdate>Thu, 01 Jan 2026 00:00:00 GMT</lastcheckdate>"
                    "<enabled>TRUE</enabled>"));
  EXPECT_EQ(Get(c.Get(), &C::get_fileFormatVersion), 0);
  EXPECT_EQ(Get(c.Get(), &C::get_checkInterval), -12);
  EXPECT_EQ(Get(c.Get(), &C::get_shouldUpdate), VARIANT_FALSE);  // only "true" exactly
  BStr text;
  c->get_feedUrl(text.Put());
  EXPECT_FALSE(text.IsNull());  // absent reads as empty text
  EXPECT_EQ(text.Length(), 0u);
  EXPECT_EQ(Get(c.Get(), &C::get_publishDate), 0.0);

  // Neither formatversion nor checkinterval: both 1; an unreadable date gives 0.0.
  c = LoadText(Wrap("<lastcheckdate>yesterday</lastcheckdate><enabled>true</enabled>"));
  EXPECT_EQ(Get(c.Get(), &C::get_checkInterval), 1);
  EXPECT_EQ(Get(c.Get(), &C::get_lastCheckDate), 0.0);
  EXPECT_EQ(Get(c.Get(), &C::get_shouldUpdate), VARIANT_TRUE);

  // Out of range saturates and schedules now.
  c =
      LoadText(Wrap("<checkinterval>-99999999999</checkinterval>"
                    "<lastcheckdate>Thu, 01 Jan 2026 00:00:00 GMT</lastcheckdate>"));
  EXPECT_EQ(Get(c.Get(), &C::get_checkInterval), INT32_MIN);
  EXPECT_NEAR(Get(c.Get(), &C::get_nextCheckDate), qx::feed::CurrentLocalDate(), 60.0 / 86400);

  // The catalog element is found anywhere; a file without lists loads.
  c = LoadText(
      "<outer><x/><deeper><updatecatalog><title>inside</title>"
      "</updatecatalog></deeper></outer>");
  EXPECT_EQ(Text(c.Get(), &C::get_setTitle), "inside");
  EXPECT_EQ(Guids(Pending(c.Get()).Get()).size(), 0u);
}

TEST_F(CatalogFileTest, InterpretationOfItems) {
  auto c = LoadText(
      Wrap("<notinstalleditems>"
           "<item required='TRUE'><guid>caps</guid><pubDate>not a date</pubDate></item>"
           "<item required='yes'><guid>other</guid><pubDate>Sat, 30 Dec 1899 00:00:00 "
           "GMT</pubDate></item>"
           "<item><title>no guid</title></item>"
           "<item><guid></guid></item>"
           "</notinstalleditems>"
           "<notinstalleditems><item><guid>second-list</guid></item></notinstalleditems>"));
  auto items = Members(Pending(c.Get()).Get());
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(Get(items[0].Get(), &I::get_required), VARIANT_TRUE);
  EXPECT_EQ(Get(items[1].Get(), &I::get_required), VARIANT_FALSE);
  // Unreadable and 0.0 dates leave the creation time.
  for (const auto& item : items) {
    EXPECT_NEAR(Get(item.Get(), &I::get_pubDate), qx::feed::CurrentLocalDate(), 60.0 / 86400);
  }
  EXPECT_EQ(Guids(Discarded(c.Get()).Get()).size(), 0u);
}

TEST_F(CatalogFileTest, LongValuesAreCutTo4098Characters) {
  const std::string longTitle(5000, 'x');
  // A surrogate pair that the cut would split is left out whole.
  std::string longGuid(4097, 'g');
  longGuid += "\xF0\x9F\x98\x80tail";
  auto c = LoadText(Wrap("<title>" + longTitle + "</title><installeditems><item><guid>" + longGuid +
                         "</guid></item></installeditems>"));
  EXPECT_EQ(Text(c.Get(), &C::get_setTitle), longTitle.substr(0, 4098));
  auto items = Members(Installed(c.Get()).Get());
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(Guid(items[0].Get()), std::string(4097, 'g'));
}

TEST_F(CatalogFileTest, LoadFailuresReportTheirMessageAndChangeNothing) {
  for (const auto& c :
       {NewCatalog(TempPath("missing.xml")), qxtest::Create<IUpdateCatalog>(CLSID_UpdateCatalog)}) {
    EXPECT_EQ(c->Load(), E_INVALIDARG);
    EXPECT_EQ(TakeErrorText(), "Invalid filename");
  }

  const std::vector<std::string> broken = {"", "not xml at all", "<updatecatalog><title>cut",
                                           std::string("\x00\x01\xff\xfe\x02", 5),
                                           "<updatecatalog></wrong>"};
  for (const std::string& content : broken) {
    WriteFile(file, content);
    auto bad = NewCatalog(file);
    bad->put_setTitle(Wide("kept").Get());
    EXPECT_EQ(bad->Load(), E_FAIL);
    const std::string message = TakeErrorText();
    EXPECT_EQ(message.rfind("Failed to load file: ", 0), 0u) << message;
    EXPECT_GT(message.size(), std::string("Failed to load file: ").size());
    EXPECT_EQ(Text(bad.Get(), &C::get_setTitle), "kept");
  }

  std::filesystem::create_directory(TempPath("folder.xml"));
  auto folder = NewCatalog(TempPath("folder.xml"));
  EXPECT_EQ(folder->Load(), E_FAIL);
  EXPECT_EQ(TakeErrorText().rfind("Failed to load file: ", 0), 0u);

  LoadText("<rss><channel/></rss>", E_FAIL);
  EXPECT_EQ(TakeErrorText(), "Invalid catalog file. Unable to find updatecatalog element.");
}

// Deep nesting and entity definitions are the XML reader's own tests; here
// a file far larger than any value the catalog keeps.
TEST_F(CatalogFileTest, HugeFileLoadsWithItsValuesCut) {
  // 50 MB: a huge value and many items still load, values cut.
  std::string huge =
      "<updatecatalog><title>" + std::string(40 << 20, 't') + "</title><notinstalleditems>";
  for (int i = 0; i < 50000; ++i) {
    huge += "<item><guid>g" + std::to_string(i) + "</guid><title>" + std::string(150, 'v') +
            "</title></item>";
  }
  huge += "</notinstalleditems></updatecatalog>";
  auto c = LoadText(huge);
  EXPECT_EQ(Text(c.Get(), &C::get_setTitle).size(), 4098u);
  EXPECT_EQ(Get(Pending(c.Get()).Get(), &IUpdateItems::get_Count), 50000);
}

TEST_F(CatalogFileTest, SaveFailuresAreReported) {
  for (const auto& unnamed :
       {qxtest::Create<IUpdateCatalog>(CLSID_UpdateCatalog), NewCatalog("")}) {
    EXPECT_EQ(unnamed->Save(), E_FAIL);
    EXPECT_EQ(TakeErrorText(), "filename is not set");
  }

  EXPECT_TRUE(FAILED(NewCatalog(TempPath("no/such/folder/catalog.xml"))->Save()));
  const auto record = qxtest::TakeErrorRecord();
  EXPECT_TRUE(record.present);
  EXPECT_EQ(record.iid, IID_IUpdateCatalog);
  EXPECT_FALSE(std::filesystem::exists(TempPath("no")));
}

TEST_F(CatalogFileTest, NewFileIsOwnerOnlyAndAnExistingFileKeepsItsMode) {
  ::umask(022);
  ASSERT_EQ(catalog->Save(), S_OK);
  struct stat info {};
  ASSERT_EQ(::stat(file.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0600u);

  ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
  ASSERT_EQ(catalog->Save(), S_OK);
  ASSERT_EQ(::stat(file.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
}

TEST_F(CatalogFileTest, KilledSaverLeavesTheOldOrTheNewCatalog) {
  auto list = Pending(catalog.Get());
  for (int i = 0; i < 3000; ++i) list->Add(MakeItem("item-" + std::to_string(i)).Get());
  catalog->put_setTitle(Wide("generation").Get());
  ASSERT_EQ(catalog->Save(), S_OK);

  std::mt19937 random(12345);
  for (int round = 0; round < 8; ++round) {
    const pid_t child = ::fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
      for (;;) catalog->Save();  // saves until killed
    }
    ::usleep(5000 + random() % 40000);
    ::kill(child, SIGKILL);
    EXPECT_EQ(qxtest::WaitForExitCode(child), 128 + SIGKILL);

    auto reloaded = NewCatalog(file);
    ASSERT_EQ(reloaded->Load(), S_OK) << "round " << round;
    EXPECT_EQ(Get(Pending(reloaded.Get()).Get(), &IUpdateItems::get_Count), 3000);
  }
}

}  // namespace

// UpdateItem: string property rules, the stored required flag and status,
// error reports, and the item fragment written and read back.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "feed/feed_date.h"
#include "tests/support/com_test.h"

namespace {

using qx::BStr;
using qx::ComPtr;
using namespace std::literals;

class UpdateItemTest : public qxtest::ObjectTest<IUpdateItem, CLSID_UpdateItem> {
 protected:
  qx::ComPtr<IUpdateItem>& item = object;

  std::u16string Fragment() {
    BStr text;
    EXPECT_EQ(item->MarshallObject(text.Put()), S_OK);
    return text.Text();
  }
  HRESULT Read(IUpdateItem* target, std::u16string_view text) {
    BStr arg(text);
    return target->UnMarshallObject(arg.Get());
  }
  HRESULT Read(std::u16string_view text) { return Read(item.Get(), text); }
  using Getter = HRESULT (STDMETHODCALLTYPE IUpdateItem::*)(BSTR*);
  std::u16string Text(Getter get, IUpdateItem* from = nullptr) {
    BStr value;
    EXPECT_EQ(((from ? from : item.Get())->*get)(value.Put()), S_OK);
    return value.Text();
  }
  std::u16string Title() { return Text(&IUpdateItem::get_title); }
};

std::u16string FragmentOf(std::u16string_view title, std::u16string_view link,
                          std::u16string_view description, std::u16string_view guid,
                          std::u16string_view category, DATE date) {
  return u"<item>\n  <title>"s + std::u16string(title) + u"</title>\n  <link>" +
         std::u16string(link) + u"</link>\n  <description>" + std::u16string(description) +
         u"</description>\n  <guid>" + std::u16string(guid) + u"</guid>\n  <category>" +
         std::u16string(category) + u"</category>\n  <pubDate>" + qx::feed::FormatFeedDate(date) +
         u"</pubDate>\n</item>";
}

TEST_F(UpdateItemTest, NewItemHasAbsentTextsAndItsCreationTimeInItsFragment) {
  for (Getter get :
       {&IUpdateItem::get_title, &IUpdateItem::get_link, &IUpdateItem::get_description,
        &IUpdateItem::get_guid, &IUpdateItem::get_category, &IUpdateItem::get_status}) {
    BStr value(u"x");
    EXPECT_EQ((item.Get()->*get)(value.Put()), S_OK);
    EXPECT_TRUE(value.IsNull());
  }
  VARIANT_BOOL required = 7;
  EXPECT_EQ(item->get_required(&required), S_OK);
  EXPECT_EQ(required, 0);

  DATE created = 0;
  ASSERT_EQ(item->get_pubDate(&created), S_OK);
  EXPECT_NE(created, 0.0);
  EXPECT_LE(std::fabs(created - qx::feed::CurrentLocalDate()), 1.0 / 24);  // same hour
  EXPECT_EQ(Fragment(), FragmentOf(u"", u"", u"", u"", u"", created));
}

TEST_F(UpdateItemTest, PutStoresCopiesStatusEndsAtAZeroRequiredKeepsSixteenBits) {
  ASSERT_EQ(item->put_title(BStr(u"a\0b"s).Get()), S_OK);
  EXPECT_EQ(Title(), u"a\0b"s);
  ASSERT_EQ(item->put_title(nullptr), S_OK);
  BStr value;
  ASSERT_EQ(item->get_title(value.Put()), S_OK);
  EXPECT_FALSE(value.IsNull());  // null stores empty text
  EXPECT_EQ(value.Length(), 0u);
  item->put_category(BStr(u"one").Get());
  item->put_category(BStr(u"two").Get());
  EXPECT_EQ(Text(&IUpdateItem::get_category), u"two");

  ASSERT_EQ(item->put_status(BStr(u"Pen\0ding"s).Get()), S_OK);
  EXPECT_EQ(Text(&IUpdateItem::get_status), u"Pen");
  ASSERT_EQ(item->put_status(nullptr), S_OK);
  ASSERT_EQ(item->get_status(value.Put()), S_OK);
  EXPECT_TRUE(value.IsNull());

  for (VARIANT_BOOL stored : {VARIANT_BOOL(1), VARIANT_BOOL(0x1234), VARIANT_BOOL(-32768)}) {
    ASSERT_EQ(item->put_required(stored), S_OK);
    VARIANT_BOOL read = 99;
    ASSERT_EQ(item->get_required(&read), S_OK);
    EXPECT_EQ(read, stored);
  }
}

TEST_F(UpdateItemTest, ErrorInfoIsSupportedForIUpdateItemOnly) {
  ComPtr<ISupportErrorInfo> support = item.As<ISupportErrorInfo>();
  ASSERT_TRUE(support);
  EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IUpdateItem), S_OK);
  EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IUpdateItems), S_FALSE);
}

TEST_F(UpdateItemTest, FragmentRoundTripKeepsEveryFieldToTheSecond) {
  BStr title(u"Ünïcode & <b>bold</b> \"quoted\""), link(u"http://example.invalid/a?b=1&c=2"),
      description(u"line one\n  line two "), guid(u"{ABC-123}"), category(u"Security"),
      status(u"Installed");
  item->put_title(title.Get());
  item->put_link(link.Get());
  item->put_description(description.Get());
  item->put_guid(guid.Get());
  item->put_category(category.Get());
  item->put_status(status.Get());
  item->put_required(-1);
  const DATE date = 45000.0 + (13 * 3600 + 14 * 60 + 15 + 0.4) / 86400.0;  // 13:14:15.4
  item->put_pubDate(date);

  const std::u16string fragment = Fragment();
  EXPECT_EQ(fragment, FragmentOf(title.View(), link.View(), description.View(), guid.View(),
                                 category.View(), date));

  ComPtr<IUpdateItem> copy = qxtest::Create<IUpdateItem>(CLSID_UpdateItem);
  ASSERT_EQ(Read(copy.Get(), fragment), S_OK);
  for (Getter get : {&IUpdateItem::get_title, &IUpdateItem::get_link, &IUpdateItem::get_description,
                     &IUpdateItem::get_guid, &IUpdateItem::get_category}) {
    EXPECT_EQ(qxtest::Narrow(Text(get, copy.Get())), qxtest::Narrow(Text(get)));
  }
  DATE read = 0;
  copy->get_pubDate(&read);
  EXPECT_NEAR(read, 45000.0 + (13 * 3600 + 14 * 60 + 15) / 86400.0, 0.01 / 86400.0);
  // Not part of the fragment: status and required keep the new item's values.
  BStr readStatus;
  copy->get_status(readStatus.Put());
  EXPECT_TRUE(readStatus.IsNull());
  VARIANT_BOOL required = 5;
  copy->get_required(&required);
  EXPECT_EQ(required, 0);

  // Values are written up to their first zero.
  item->put_title(BStr(u"vis\0ible"s).Get());
  EXPECT_NE(Fragment().find(u"<title>vis</title>"), std::u16string::npos);
}

TEST_F(UpdateItemTest, ReadingTakesTheFirstOccurrenceOfEachTagInTheWholeText) {
  // A guid element inside the description wins over the item's own guid.
  ASSERT_EQ(Read(u"<item><title>T & <b>x</b></title><description>see <guid>inner</guid>"
                 u"</description><guid>outer</guid></item>"),
            S_OK);
  EXPECT_EQ(Title(), u"T & <b>x</b>");
  EXPECT_EQ(Text(&IUpdateItem::get_guid), u"inner");
  EXPECT_EQ(Text(&IUpdateItem::get_description), u"see <guid>inner</guid>");

  // The value ends at the first closing tag of the whole text.
  Read(u"<title>a</title>b</title>");
  EXPECT_EQ(Title(), u"a");
}

TEST_F(UpdateItemTest, MalformedElementsLeaveTheirFieldUnchanged) {
  BStr keep(u"kept");
  item->put_title(keep.Get());
  for (std::u16string_view text :
       {u"</title>reversed<title>"sv, u"</title><title>proper</title>"sv, u"<title>unterminated"sv,
        u"no tags at all"sv, u"<title x=\"1\">attributed</title>"sv, u"< title>blank</title>"sv,
        u"<TITLE>upper</TITLE>"sv, u""sv}) {
    EXPECT_EQ(Read(text), S_OK);
    EXPECT_EQ(Title(), u"kept") << qxtest::Narrow(text);
  }
  EXPECT_EQ(item->UnMarshallObject(nullptr), S_OK);
  EXPECT_EQ(Title(), u"kept");

  // An empty element is a value: it stores empty text.
  Read(u"<title></title>");
  EXPECT_EQ(Title(), u"");

  // Unreadable or empty dates leave pubDate unchanged.
  item->put_pubDate(40000.25);
  for (std::u16string_view text :
       {u"<pubDate></pubDate>"sv, u"<pubDate>yesterday</pubDate>"sv,
        u"<pubDate>Mon, 01 Jan 2001 10:00:00 +0100</pubDate>"sv, u"<pubDate>Sat, 99 Foo"sv}) {
    Read(text);
    DATE date = 0;
    item->get_pubDate(&date);
    EXPECT_EQ(date, 40000.25) << qxtest::Narrow(text);
  }
}

TEST_F(UpdateItemTest, ExtremeDatesNeverBreakTheFragment) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  for (double date : {nan, inf, -inf, 1e300, -1e300, -700000.0, 3000000.0}) {
    ASSERT_EQ(item->put_pubDate(date), S_OK);
    DATE read = 0;
    item->get_pubDate(&read);
    if (std::isnan(date)) {
      EXPECT_TRUE(std::isnan(read));
    } else {
      EXPECT_EQ(read, date);
    }
    EXPECT_NE(Fragment().find(u"<pubDate>Invalid DateTime</pubDate>"), std::u16string::npos);
  }
}

TEST_F(UpdateItemTest, EmbeddedZerosAndMegabyteValuesAreReadVerbatim) {
  std::u16string big(1 << 20, u'x');
  big[12345] = u'\0';
  big[500000] = u'<';
  std::u16string text = u"<item>\n<description>"s + big + u"</description><guid>g\0h</guid>"s +
                        u"<title>end</title></item>";
  ASSERT_EQ(Read(text), S_OK);
  EXPECT_TRUE(Text(&IUpdateItem::get_description) == big);
  EXPECT_EQ(Text(&IUpdateItem::get_guid), u"g\0h"s);
  EXPECT_EQ(Title(), u"end");
}

}  // namespace

namespace {

// The payload data travels in the fragment on its own line before the end
// tag, escaped as XML; an item without it keeps the eight-line fragment, and
// a fragment without an enclosure leaves the payload data alone.
TEST_F(UpdateItemTest, PayloadDataTravelsInTheFragmentOnlyWhenPresent) {
  auto item2 = qx::QueryAs<IUpdateItem2>(item.Get());
  ASSERT_TRUE(item2);
  DATE date = 0;
  item->get_pubDate(&date);
  EXPECT_EQ(Fragment(), FragmentOf(u"", u"", u"", u"", u"", date));

  BStr url(u"http://h/a?x=1&y=\"2\"</title>");
  ASSERT_EQ(item2->put_enclosureUrl(url.Get()), S_OK);
  ASSERT_EQ(item2->put_enclosureLength(10), S_OK);
  BStr signature(u"c2ln");
  ASSERT_EQ(item2->put_edSignature(signature.Get()), S_OK);
  const std::u16string fragment = Fragment();
  std::u16string expected = FragmentOf(u"", u"", u"", u"", u"", date);
  expected.insert(expected.size() - u"\n</item>"s.size(),
                  u"\n  <enclosure url=\"http://h/a?x=1&amp;y=&quot;2&quot;&lt;/title>\""
                  u" length=\"10\" xmlns:qx=\"urn:qxnet:updates:1\" qx:edSignature=\"c2ln\">"
                  u"</enclosure>");
  EXPECT_EQ(fragment, expected);

  auto fresh = qxtest::Create<IUpdateItem2>(CLSID_UpdateItem);
  ASSERT_EQ(Read(fresh.Get(), fragment), S_OK);
  EXPECT_EQ(Text(&IUpdateItem::get_title, fresh.Get()), u"");
  BStr readUrl;
  EXPECT_EQ(fresh->get_enclosureUrl(readUrl.Put()), S_OK);
  EXPECT_EQ(readUrl.View(), url.View());
  LONGLONG length = 0;
  EXPECT_EQ(fresh->get_enclosureLength(&length), S_OK);
  EXPECT_EQ(length, 10);

  // A fragment without an enclosure, or with an unreadable one, keeps it.
  for (std::u16string_view text :
       {u"<item><title>t</title></item>"sv, u"<item><enclosure url='x</item>"sv,
        u"<item><enclosures url='x'/></item>"sv}) {
    ASSERT_EQ(Read(fresh.Get(), text), S_OK);
    EXPECT_EQ(fresh->get_enclosureLength(&length), S_OK);
    EXPECT_EQ(length, 10) << qxtest::Narrow(text);
  }
  fresh = nullptr;
}

}  // namespace

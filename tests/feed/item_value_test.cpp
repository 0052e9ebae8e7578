// ItemValue: element text as an item value, ASCII or not, cut to the
// longest value without leaving half of a surrogate pair. ItemDate: the
// date read from such a value, short or long, ASCII or not.
#include <gtest/gtest.h>

#include <string>

#include "feed/feed_date.h"
#include "feed/item_value.h"
#include "qxnet/text.h"

namespace {

using qx::feed::ItemValue;
using qx::feed::kMaxValueLength;

TEST(ItemValueTest, CutsAtTheLimitWithoutSplittingAPair) {
  const std::string pair = "\xF0\x9F\x98\x80";  // U+1F600, two code units
  const std::u16string pairUnits = u"\U0001F600";
  struct Case {
    std::string utf8;
    std::u16string expected;
  };
  const Case cases[] = {
      {"", u""},
      {"plain", u"plain"},
      {"caf\xC3\xA9", u"caf\u00E9"},
      {std::string(kMaxValueLength, 'a'), std::u16string(kMaxValueLength, u'a')},
      {std::string(kMaxValueLength + 1, 'a'), std::u16string(kMaxValueLength, u'a')},
      // The pair would end one unit past the limit: left out whole.
      {std::string(kMaxValueLength - 1, 'a') + pair, std::u16string(kMaxValueLength - 1, u'a')},
      // The pair ends exactly at the limit: kept.
      {std::string(kMaxValueLength - 2, 'a') + pair + "b",
       std::u16string(kMaxValueLength - 2, u'a') + pairUnits},
      // Invalid bytes read as U+FFFD, as everywhere else.
      {"a\xFF", u"a\uFFFD"},
  };
  for (const Case& c : cases) {
    const qx::BStr value = ItemValue(c.utf8);
    ASSERT_FALSE(value.IsNull());
    EXPECT_EQ(value.Text(), c.expected) << c.utf8.size();
  }
}

TEST(ItemValueTest, DateReadsAsFromTheValue) {
  const std::string date = "Fri, 01 Mar 2024 10:00:00 GMT";
  const std::string padded = "Fri, 01 Mar 2024 10:00:00" + std::string(35, ' ') + " GMT";
  ASSERT_EQ(padded.size(), 64u);
  for (const std::string& text :
       {date, padded, padded + " ", std::string("Fri, 01 M\xC3\xA4r 2024 10:00:00 GMT"),
        std::string("01 Mar 2024"), std::string("not a date"), std::string()}) {
    EXPECT_EQ(qx::feed::ItemDate(text),
              qx::feed::ParseFeedDate(qx::feed::CutValue(qx::Utf8ToUtf16(text))))
        << text;
  }
  EXPECT_NE(qx::feed::ItemDate(date), 0.0);
}

}  // namespace

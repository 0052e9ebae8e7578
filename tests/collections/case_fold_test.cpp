// The case folding behind every guid and string comparison.
#include <gtest/gtest.h>

#include "server/collections/case_fold.h"

namespace {

using namespace std::literals;

TEST(CaseFoldTest, FoldsTheCasedScriptsOfTheBasicPlane) {
  const std::pair<char16_t, char16_t> pairs[] = {
      {u'A', u'a'}, {u'Þ', u'þ'}, {u'Ÿ', u'ÿ'},   {u'Ł', u'ł'},      {u'Ǆ', u'ǆ'},
      {u'ǅ', u'ǆ'}, {u'Ά', u'ά'}, {u'ς', u'σ'},   {u'Ё', u'ё'},      {u'Ա', u'ա'},
      {u'Ⴀ', u'ⴀ'}, {u'ẞ', u'ß'}, {u'Ἀ', u'ἀ'},   {u'\u212A', u'k'}, {u'\u2126', u'ω'},
      {u'Ⅻ', u'ⅻ'}, {u'Ⓐ', u'ⓐ'}, {u'Ａ', u'ａ'}, {u'µ', u'μ'},      {u'ſ', u's'},
      {u'Ꙁ', u'ꙁ'}};
  for (auto [upper, lower] : pairs) {
    EXPECT_EQ(qx::FoldCase(upper), qx::FoldCase(lower)) << int(upper);
  }
  for (char16_t uncased : {u'1', u'-', u'ß', u'ı', u'ж', u'中', u'\0', u'\xD800', u'\xFFFF'}) {
    EXPECT_EQ(qx::FoldCase(uncased), uncased) << int(uncased);
  }

  // Comparison ends at the first zero.
  EXPECT_TRUE(qx::EqualIgnoringCase(u"ÄBC", u"äbc"));
  EXPECT_TRUE(qx::EqualIgnoringCase(u"ab\0x"sv, u"AB"));
  EXPECT_FALSE(qx::EqualIgnoringCase(u"ab", u"abc"));
  EXPECT_FALSE(qx::EqualIgnoringCase(u"straße", u"STRASSE"));
  EXPECT_EQ(qx::CaseFoldKey(u"ÄB\0C"sv), u"äb");
  EXPECT_EQ(qx::CaseFoldKey(u""), u"");
}

}  // namespace

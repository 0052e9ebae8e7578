// The case folding behind every guid and string comparison.
#include <gtest/gtest.h>

#include "server/collections/case_fold.h"

namespace {

using namespace std::literals;

TEST(CaseFoldTest, FoldsTheCasedScriptsOfTheBasicPlane) {
  const std::pair<char16_t, char16_t> pairs[] = {
      {u'A', u'a'},       {u'Z', u'z'},       {u'À', u'à'},       {u'Þ', u'þ'},
      {u'Ÿ', u'ÿ'},       {u'Ā', u'ā'},       {u'Ł', u'ł'},       {u'Ž', u'ž'},
      {u'Ə', u'ə'},       {u'Ǆ', u'ǆ'},       {u'ǅ', u'ǆ'},       {u'Ș', u'ș'},
      {u'Ω', u'ω'},       {u'Ά', u'ά'},       {u'Ϋ', u'ϋ'},       {u'ς', u'σ'},
      {u'Ё', u'ё'},       {u'Я', u'я'},       {u'Ґ', u'ґ'},       {u'Ӂ', u'ӂ'},
      {u'Ա', u'ա'},       {u'Ⴀ', u'ⴀ'},       {u'Ḁ', u'ḁ'},       {u'Ỳ', u'ỳ'},
      {u'ẞ', u'ß'},       {u'Ἀ', u'ἀ'},       {u'\u212A', u'k'},  {u'\u2126', u'ω'},
      {u'Ⅻ', u'ⅻ'},       {u'Ⓐ', u'ⓐ'},       {u'Ａ', u'ａ'},     {u'µ', u'μ'},
      {u'ſ', u's'},       {u'Ꙁ', u'ꙁ'},       {u'Ꜳ', u'ꜳ'}};
  for (auto [upper, lower] : pairs) {
    EXPECT_EQ(qx::FoldCase(upper), qx::FoldCase(lower)) << int(upper);
  }
  for (char16_t uncased : {u'1', u'-', u'ß', u'ı', u'ж', u'中', u'\0', u'\xD800', u'\xFFFF'}) {
    EXPECT_EQ(qx::FoldCase(uncased), uncased) << int(uncased);
  }
  EXPECT_EQ(qx::FoldCase(u'ǅ'), u'ǆ');
}

TEST(CaseFoldTest, ComparesUpToTheFirstZero) {
  EXPECT_TRUE(qx::EqualIgnoringCase(u"ÄBC", u"äbc"));
  EXPECT_TRUE(qx::EqualIgnoringCase(u"ab\0x"sv, u"AB"));
  EXPECT_FALSE(qx::EqualIgnoringCase(u"ab", u"abc"));
  EXPECT_FALSE(qx::EqualIgnoringCase(u"straße", u"STRASSE"));
  EXPECT_EQ(qx::CaseFoldKey(u"ÄB\0C"sv), u"äb");
  EXPECT_EQ(qx::CaseFoldKey(u""), u"");
}

}  // namespace

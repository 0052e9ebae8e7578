// GuidIndex: guids compared ignoring case (up to the first zero character),
// counted per carrier, found again after the table grows and after removals
// move entries back along their probe runs.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "server/collections/guid_index.h"

namespace {

using qx::GuidIndex;

std::u16string Guid(size_t i) {
  std::u16string text = u"{6F9619FF-8B86-D011-B42D-";
  for (char c : std::to_string(100000000000 + i)) text += char16_t(c);
  return text + u"}";
}

TEST(GuidIndexTest, MatchesIgnoringCaseUpToTheFirstZero) {
  struct Case {
    std::u16string stored, asked;
    bool same;
  };
  const Case cases[] = {
      {u"{abc-DEF}", u"{ABC-def}", true},
      {u"\u03A3\u0414\u00C9", u"\u03C3\u0434\u00E9", true},  // Greek, Cyrillic, Latin-1
      {u"{A}", u"{A}x", false},
      {u"{A}", u"{B}", false},
      {std::u16string(u"{A}\0tail", 8), u"{a}", true},
      {u"", std::u16string(u"\0x", 2), true},
  };
  for (const Case& c : cases) {
    GuidIndex index;
    EXPECT_TRUE(index.addIfAbsent(c.stored));
    EXPECT_EQ(index.contains(c.asked), c.same);
    EXPECT_EQ(index.addIfAbsent(c.asked), !c.same);
    EXPECT_EQ(index.size(), c.same ? 1u : 2u);
  }
}

TEST(GuidIndexTest, CountsCarriersAndForgetsAGuidWithItsLast) {
  GuidIndex index;
  index.add(u"{X}");
  index.add(u"{x}");
  EXPECT_FALSE(index.addIfAbsent(u"{X}"));  // leaves the count as it is
  index.remove(u"{X}");
  EXPECT_TRUE(index.contains(u"{x}"));
  index.remove(u"{x}");
  EXPECT_FALSE(index.contains(u"{X}"));
  index.remove(u"{X}");  // absent: nothing
  EXPECT_EQ(index.size(), 0u);
}

// Thousands of guids through growth (with and without a reservation), then
// every other one removed and the rest renamed, which leaves removed text
// behind to be compacted: every lookup still answers right.
TEST(GuidIndexTest, KeepsEveryGuidThroughGrowthRemovalAndCompaction) {
  constexpr size_t kGuids = 5000;
  for (const bool reserved : {false, true}) {
    GuidIndex index;
    if (reserved) index.reserve(kGuids);
    for (size_t i = 0; i < kGuids; ++i) ASSERT_TRUE(index.addIfAbsent(Guid(i)));
    for (size_t i = 0; i < kGuids; ++i) ASSERT_FALSE(index.addIfAbsent(Guid(i)));
    for (size_t i = 0; i < kGuids; i += 2) index.remove(Guid(i));
    for (size_t i = 0; i < kGuids; ++i) ASSERT_EQ(index.contains(Guid(i)), i % 2 == 1) << i;

    for (size_t i = 1; i < kGuids; i += 2) {
      index.remove(Guid(i));
      index.add(Guid(kGuids + i));
    }
    EXPECT_EQ(index.size(), kGuids / 2);
    for (size_t i = 0; i < 2 * kGuids; ++i) {
      ASSERT_EQ(index.contains(Guid(i)), i > kGuids && i % 2 == 1) << i;
    }
    index.clear();
    EXPECT_FALSE(index.contains(Guid(kGuids + 1)));
    EXPECT_TRUE(index.addIfAbsent(Guid(kGuids + 1)));
  }
}

}  // namespace

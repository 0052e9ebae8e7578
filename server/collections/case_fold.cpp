#include "server/collections/case_fold.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace qx {

namespace {

// One run of code units that fold by the same offset: every unit from
// `first` to `last` (step 1), or every second one starting at `first`
// (step 2, the alternating upper/lower pairs of many Latin, Greek and
// Cyrillic blocks). Runs are sorted and do not overlap.
struct FoldRun {
  char16_t first;
  char16_t last;
  int32_t offset;
  uint8_t step;
};

constexpr FoldRun One(char16_t from, char16_t to) {
  return {from, from, int32_t(to) - int32_t(from), 1};
}

// clang-format off
constexpr std::array kRuns = {
  FoldRun{0x0041, 0x005A, 32, 1},
  One(0x00B5, 0x03BC),
  FoldRun{0x00C0, 0x00D6, 32, 1},
  FoldRun{0x00D8, 0x00DE, 32, 1},
  FoldRun{0x0100, 0x012E, 1, 2},
  FoldRun{0x0132, 0x0136, 1, 2},
  FoldRun{0x0139, 0x0147, 1, 2},
  FoldRun{0x014A, 0x0176, 1, 2},
  One(0x0178, 0x00FF),
  FoldRun{0x0179, 0x017D, 1, 2},
  One(0x017F, 0x0073),
  One(0x0181, 0x0253),
  FoldRun{0x0182, 0x0184, 1, 2},
  One(0x0186, 0x0254),
  One(0x0187, 0x0188),
  FoldRun{0x0189, 0x018A, 205, 1},
  One(0x018B, 0x018C),
  One(0x018E, 0x01DD),
  One(0x018F, 0x0259),
  One(0x0190, 0x025B),
  One(0x0191, 0x0192),
  One(0x0193, 0x0260),
  One(0x0194, 0x0263),
  One(0x0196, 0x0269),
  One(0x0197, 0x0268),
  One(0x0198, 0x0199),
  One(0x019C, 0x026F),
  One(0x019D, 0x0272),
  One(0x019F, 0x0275),
  FoldRun{0x01A0, 0x01A4, 1, 2},
  One(0x01A6, 0x0280),
  One(0x01A7, 0x01A8),
  One(0x01A9, 0x0283),
  One(0x01AC, 0x01AD),
  One(0x01AE, 0x0288),
  One(0x01AF, 0x01B0),
  FoldRun{0x01B1, 0x01B2, 217, 1},
  FoldRun{0x01B3, 0x01B5, 1, 2},
  One(0x01B7, 0x0292),
  One(0x01B8, 0x01B9),
  One(0x01BC, 0x01BD),
  One(0x01C4, 0x01C6),
  One(0x01C5, 0x01C6),
  One(0x01C7, 0x01C9),
  One(0x01C8, 0x01C9),
  One(0x01CA, 0x01CC),
  FoldRun{0x01CB, 0x01DB, 1, 2},
  FoldRun{0x01DE, 0x01EE, 1, 2},
  One(0x01F1, 0x01F3),
  FoldRun{0x01F2, 0x01F4, 1, 2},
  One(0x01F6, 0x0195),
  One(0x01F7, 0x01BF),
  FoldRun{0x01F8, 0x021E, 1, 2},
  One(0x0220, 0x019E),
  FoldRun{0x0222, 0x0232, 1, 2},
  One(0x023A, 0x2C65),
  One(0x023B, 0x023C),
  One(0x023D, 0x019A),
  One(0x023E, 0x2C66),
  One(0x0241, 0x0242),
  One(0x0243, 0x0180),
  One(0x0244, 0x0289),
  One(0x0245, 0x028C),
  FoldRun{0x0246, 0x024E, 1, 2},
  One(0x0345, 0x03B9),
  FoldRun{0x0370, 0x0372, 1, 2},
  One(0x0376, 0x0377),
  One(0x037F, 0x03F3),
  One(0x0386, 0x03AC),
  FoldRun{0x0388, 0x038A, 37, 1},
  One(0x038C, 0x03CC),
  FoldRun{0x038E, 0x038F, 63, 1},
  FoldRun{0x0391, 0x03A1, 32, 1},
  FoldRun{0x03A3, 0x03AB, 32, 1},
  One(0x03C2, 0x03C3),
  One(0x03CF, 0x03D7),
  One(0x03D0, 0x03B2),
  One(0x03D1, 0x03B8),
  One(0x03D5, 0x03C6),
  One(0x03D6, 0x03C0),
  FoldRun{0x03D8, 0x03EE, 1, 2},
  One(0x03F0, 0x03BA),
  One(0x03F1, 0x03C1),
  One(0x03F4, 0x03B8),
  One(0x03F5, 0x03B5),
  One(0x03F7, 0x03F8),
  One(0x03F9, 0x03F2),
  One(0x03FA, 0x03FB),
  FoldRun{0x03FD, 0x03FF, -130, 1},
  FoldRun{0x0400, 0x040F, 80, 1},
  FoldRun{0x0410, 0x042F, 32, 1},
  FoldRun{0x0460, 0x0480, 1, 2},
  FoldRun{0x048A, 0x04BE, 1, 2},
  One(0x04C0, 0x04CF),
  FoldRun{0x04C1, 0x04CD, 1, 2},
  FoldRun{0x04D0, 0x052E, 1, 2},
  FoldRun{0x0531, 0x0556, 48, 1},
  FoldRun{0x10A0, 0x10C5, 7264, 1},
  One(0x10C7, 0x2D27),
  One(0x10CD, 0x2D2D),
  FoldRun{0x13F8, 0x13FD, -8, 1},
  FoldRun{0x1E00, 0x1E94, 1, 2},
  One(0x1E9B, 0x1E61),
  One(0x1E9E, 0x00DF),
  FoldRun{0x1EA0, 0x1EFE, 1, 2},
  FoldRun{0x1F08, 0x1F0F, -8, 1},
  FoldRun{0x1F18, 0x1F1D, -8, 1},
  FoldRun{0x1F28, 0x1F2F, -8, 1},
  FoldRun{0x1F38, 0x1F3F, -8, 1},
  FoldRun{0x1F48, 0x1F4D, -8, 1},
  FoldRun{0x1F59, 0x1F5F, -8, 2},
  FoldRun{0x1F68, 0x1F6F, -8, 1},
  FoldRun{0x1F88, 0x1F8F, -8, 1},
  FoldRun{0x1F98, 0x1F9F, -8, 1},
  FoldRun{0x1FA8, 0x1FAF, -8, 1},
  FoldRun{0x1FB8, 0x1FB9, -8, 1},
  FoldRun{0x1FBA, 0x1FBB, -74, 1},
  One(0x1FBC, 0x1FB3),
  One(0x1FBE, 0x03B9),
  FoldRun{0x1FC8, 0x1FCB, -86, 1},
  One(0x1FCC, 0x1FC3),
  FoldRun{0x1FD8, 0x1FD9, -8, 1},
  FoldRun{0x1FDA, 0x1FDB, -100, 1},
  FoldRun{0x1FE8, 0x1FE9, -8, 1},
  FoldRun{0x1FEA, 0x1FEB, -112, 1},
  One(0x1FEC, 0x1FE5),
  FoldRun{0x1FF8, 0x1FF9, -128, 1},
  FoldRun{0x1FFA, 0x1FFB, -126, 1},
  One(0x1FFC, 0x1FF3),
  One(0x2126, 0x03C9),
  One(0x212A, 0x006B),
  One(0x212B, 0x00E5),
  One(0x2132, 0x214E),
  FoldRun{0x2160, 0x216F, 16, 1},
  One(0x2183, 0x2184),
  FoldRun{0x24B6, 0x24CF, 26, 1},
  FoldRun{0x2C00, 0x2C2F, 48, 1},
  One(0x2C60, 0x2C61),
  One(0x2C62, 0x026B),
  One(0x2C63, 0x1D7D),
  One(0x2C64, 0x027D),
  FoldRun{0x2C67, 0x2C6B, 1, 2},
  One(0x2C6D, 0x0251),
  One(0x2C6E, 0x0271),
  One(0x2C6F, 0x0250),
  One(0x2C70, 0x0252),
  One(0x2C72, 0x2C73),
  One(0x2C75, 0x2C76),
  FoldRun{0x2C7E, 0x2C7F, -10815, 1},
  FoldRun{0x2C80, 0x2CE2, 1, 2},
  FoldRun{0x2CEB, 0x2CED, 1, 2},
  One(0x2CF2, 0x2CF3),
  FoldRun{0xA640, 0xA66C, 1, 2},
  FoldRun{0xA680, 0xA69A, 1, 2},
  FoldRun{0xA722, 0xA72E, 1, 2},
  FoldRun{0xA732, 0xA76E, 1, 2},
  FoldRun{0xA779, 0xA77B, 1, 2},
  One(0xA77D, 0x1D79),
  FoldRun{0xA77E, 0xA786, 1, 2},
  One(0xA78B, 0xA78C),
  One(0xA78D, 0x0265),
  FoldRun{0xA790, 0xA792, 1, 2},
  FoldRun{0xA796, 0xA7A8, 1, 2},
  FoldRun{0xAB70, 0xABBF, -38864, 1},
  FoldRun{0xFF21, 0xFF3A, 32, 1},
};
// clang-format on

constexpr bool RunsAreOrdered() {
  for (size_t i = 0; i < kRuns.size(); ++i) {
    if (kRuns[i].first > kRuns[i].last) return false;
    if (i > 0 && kRuns[i - 1].last >= kRuns[i].first) return false;
  }
  return true;
}
static_assert(RunsAreOrdered(), "fold runs must be sorted and disjoint");

}  // namespace

char16_t FoldCase(char16_t c) {
  if (c < 0x80) return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c;
  // The last run starting at or before c.
  auto after = std::upper_bound(kRuns.begin(), kRuns.end(), c,
                                [](char16_t unit, const FoldRun& run) { return unit < run.first; });
  if (after == kRuns.begin()) return c;
  const FoldRun& run = *(after - 1);
  if (c > run.last || (c - run.first) % run.step != 0) return c;
  return char16_t(int32_t(c) + run.offset);
}

std::u16string_view TextUpToZero(std::u16string_view text) {
  size_t zero = text.find(u'\0');
  return zero == std::u16string_view::npos ? text : text.substr(0, zero);
}

std::u16string CaseFoldKey(std::u16string_view text) {
  std::u16string_view visible = TextUpToZero(text);
  std::u16string key(visible.size(), u'\0');
  for (size_t i = 0; i < visible.size(); ++i) key[i] = FoldCase(visible[i]);
  return key;
}

bool EqualIgnoringCase(std::u16string_view a, std::u16string_view b) {
  a = TextUpToZero(a);
  b = TextUpToZero(b);
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i] != b[i] && FoldCase(a[i]) != FoldCase(b[i])) return false;
  return true;
}

}  // namespace qx

// The values that the feed and catalog readers take from element text: at
// most kMaxValueLength UTF-16 code units, cut so that no half of a surrogate
// pair remains.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "qxnet/bstr.h"

namespace qx::feed {

// The longest value taken from an element's text, in UTF-16 code units.
inline constexpr size_t kMaxValueLength = 4098;

// `text` cut to kMaxValueLength code units; a surrogate pair that the cut
// would split is left out whole.
std::u16string CutValue(std::u16string text);

// The UTF-8 text of an element as such a value, made in one allocation for
// the usual ASCII text. Null only when memory runs out.
BStr ItemValue(std::string_view utf8);

// The date that ParseFeedDate reads from such a value of UTF-8 text (0.0
// for none), without a string of its own for the usual short ASCII date.
DATE ItemDate(std::string_view utf8);

}  // namespace qx::feed

// The one text form in which the update model writes dates, and its reader.
//
// The text is "Www, DD Mon YYYY HH:MM:SS GMT" with English day and month
// names. The date it carries is the local wall-clock time held by the
// automation date, unconverted: " GMT" is a fixed suffix, and the reader drops
// it again, so a date survives a write and a read unchanged to the second.
#pragma once

#include <string>
#include <string_view>

#include "qxnet/platform.h"

namespace qx::feed {

// The text written for dates that have no calendar form (before 1 January
// 100, after 31 December 9999, NaN or infinite).
inline constexpr std::u16string_view kInvalidDateTimeText = u"Invalid DateTime";

// "Sat, 30 Dec 1899 00:00:00 GMT" for 0.0. Day and month names are English
// whatever the process locale; the year is written without padding (a year
// below 1000 has three digits). Never fails: an unrepresentable date gives
// kInvalidDateTimeText.
std::u16string FormatFeedDate(DATE date);

// Reads a feed date text. When the text holds ", " after at least one
// character, only the part after it and before the first " GMT" is read (an
// absent or misplaced " GMT" leaves nothing to read); otherwise the whole text
// is read. The part must be "D[D] Mon YYY[Y] [H]H:MM[:SS]" (the time may be
// left out; blanks around and between the fields are allowed; the month
// abbreviation is English in any letter case) and denote a real day and time.
// Returns 0.0 for anything it cannot read.
DATE ParseFeedDate(std::u16string_view text);

// The local wall-clock time now; 0.0 if it cannot be converted.
DATE CurrentLocalDate();

}  // namespace qx::feed

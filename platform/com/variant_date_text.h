// Automation dates as text for variant coercion, in the US English form
// "M/D/YYYY h:mm:ss AM".
#pragma once

#include <string>
#include <string_view>

#include "qxnet/platform.h"

namespace qx {

// "M/D/YYYY h:mm:ss AM", rounded to the second. The time is left out when it
// is midnight and the date when it is 30 December 1899 (day 0); day 0 at
// midnight is "12:00:00 AM". DISP_E_OVERFLOW for a value outside the valid
// date range.
HRESULT FormatDateText(DATE value, std::u16string* out);

// Reads "M/D/Y[ h:mm[:ss][ AM|PM]]", a time alone ("h:mm[:ss][ AM|PM]",
// meaning day 0) or "YYYY-MM-DD[( |T)HH:MM[:SS]]". One- and two-digit years
// are 2000-2029 and 1930-1999. DISP_E_TYPEMISMATCH for anything else or an
// impossible date or time.
HRESULT ParseDateText(std::u16string_view text, DATE* out);

}  // namespace qx

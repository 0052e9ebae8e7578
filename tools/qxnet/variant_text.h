// Automation values to and from command-line text.
#pragma once

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "qxnet/platform.h"
#include "qxnet/variant.h"

namespace qxcli {

// An argument for a parameter of type `vt`: true/false (also yes/no, on/off,
// -1/0) become VT_BOOL for boolean parameters, "YYYY-MM-DD[ HH:MM[:SS]]"
// (or with a 'T') becomes VT_DATE for date parameters; everything else is
// passed as text, and the object converts it to the declared type.
qx::Variant ArgumentFromText(const std::string& text, VARTYPE vt);

// "2024-06-03 09:30:00"; empty when the date is outside the calendar.
std::string DateText(DATE date);
// ISO 8601 with the local offset for JSON output: "2024-06-03T09:30:00+02:00";
// empty when the date is outside the calendar.
std::string DateJsonText(DATE date);
// Reads "YYYY-MM-DD[ HH:MM[:SS]]" or "YYYY-MM-DDTHH:MM[:SS]".
std::optional<DATE> ParseDateText(const std::string& text);

// A value for printing: strings as they are, booleans as true/false, dates
// as DateText (in JSON as DateJsonText), objects as "[object]", arrays
// element by element.
std::string VariantText(const VARIANT& value);
nlohmann::json VariantJson(const VARIANT& value);

}  // namespace qxcli

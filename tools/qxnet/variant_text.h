// Automation values to and from command-line text.
#pragma once

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "qxnet/platform.h"
#include "server/object_frame/variant.h"

namespace qxcli {

// An argument for a parameter of type `vt`: true/false (also yes/no, on/off,
// -1/0) become VT_BOOL for boolean parameters, "YYYY-MM-DD[ HH:MM[:SS]]"
// (or with a 'T') becomes VT_DATE for date parameters; everything else is
// passed as text, and the object converts it to the declared type.
qx::Variant ArgumentFromText(const std::string& text, VARTYPE vt);

// "2024-06-03 09:30:00"; empty when the date is outside the calendar.
std::string DateText(DATE date);
// Reads "YYYY-MM-DD[ HH:MM[:SS]]" or "YYYY-MM-DDTHH:MM[:SS]".
std::optional<DATE> ParseDateText(const std::string& text);

// A value for printing: strings as they are, booleans as true/false, dates
// as DateText, objects as "[object]", arrays element by element.
std::string VariantText(const VARIANT& value);
nlohmann::json VariantJson(const VARIANT& value);

}  // namespace qxcli

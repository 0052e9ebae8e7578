// A locale that differs from "C" in the ways the library must ignore:
// a decimal comma and German day and month names.
#pragma once

namespace qxtest {

// Switches the process to de_DE.UTF-8, compiling it into the test process's
// private folder when the machine has none installed; false when neither
// works. The caller restores the "C" locale.
bool UseGermanLocale();

}  // namespace qxtest

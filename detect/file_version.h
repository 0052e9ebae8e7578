// The file version text of an executable image, as the detector names a
// runtime version by it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qx::detect {

// The path buffer's capacity, terminator included: longer paths are cut.
inline constexpr size_t kFileVersionPathCapacity = 260;

// The "FileVersion" string of the image's version resource, found through
// its translation table (the first translation whose string table has the
// value wins) and cut at its third full stop; empty when the file has no
// readable version resource or no translation leads to the value.
std::u16string GetFileVersionString(std::u16string_view path);

// Removes everything from the third '.' on ("4.0.30319.1 built by: X"
// becomes "4.0.30319"); a text with fewer than three full stops is kept.
std::u16string CutAtThirdFullStop(std::u16string_view text);

}  // namespace qx::detect

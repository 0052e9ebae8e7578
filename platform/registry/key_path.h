// Registry key paths: splitting a backslash-separated path into names and
// folding names so that keys and value names compare without regard to case.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "qxnet/platform.h"

namespace qx::registry {

// Longest key name accepted, in UTF-16 code units.
inline constexpr size_t kMaxKeyNameLength = 255;
// Longest value name accepted, in UTF-16 code units.
inline constexpr size_t kMaxValueNameLength = 16383;

// Case folding used for every comparison: ASCII plus the Latin-1, Greek and
// Cyrillic capital letters. Other characters compare exactly.
std::u16string FoldCase(std::u16string_view text);

// A key below one of the roots. `folded` is the comparison form, `display`
// keeps the case the caller wrote; both are UTF-8 and use '\' between names.
// The root key itself has empty paths.
struct KeyLocation {
  HKEY root = nullptr;
  std::string folded;
  std::string display;
};

// Appends a relative path ("A\B\C") to `base`. A single trailing backslash
// is ignored; empty names (leading or doubled backslashes) and names longer
// than kMaxKeyNameLength are rejected with ERROR_INVALID_PARAMETER.
LSTATUS AppendSubkeyPath(const KeyLocation& base, std::u16string_view relative, KeyLocation& out);

// The folded (comparison) form of a value name, in UTF-8.
std::string FoldedValueName(std::u16string_view name);

// The parent's path of `path` ("" for a direct child of the root).
std::string ParentPath(std::string_view path);
// The last name of `path`.
std::string LastName(std::string_view path);

}  // namespace qx::registry

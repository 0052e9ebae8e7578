// Which VARTYPE values a VARIANT may hold (shared inside the runtime).
#pragma once

#include <cstddef>

#include "qxnet/platform.h"

namespace qx {

// True for the types a VARIANT can carry by value, by reference (VT_BYREF)
// or as an array (VT_ARRAY, optionally VT_BYREF too).
bool IsValidVariantType(VARTYPE vt);

// Bytes a value of scalar type `vt` occupies (numbers, dates, booleans,
// strings and interface pointers, as held in a variant's union or pointed
// to by a by-reference variant); 0 for every other type.
size_t ScalarValueSize(VARTYPE vt);

}  // namespace qx

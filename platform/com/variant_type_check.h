// Which VARTYPE values a VARIANT may hold (shared inside the runtime).
#pragma once

#include "qxnet/platform.h"

namespace qx {

// True for the types a VARIANT can carry by value, by reference (VT_BYREF)
// or as an array (VT_ARRAY, optionally VT_BYREF too).
bool IsValidVariantType(VARTYPE vt);

}  // namespace qx

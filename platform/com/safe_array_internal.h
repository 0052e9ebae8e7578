// Safe-array helpers shared inside the component runtime (not exported API).
#pragma once

#include "qxnet/platform.h"

namespace qx {

// The element type of an array made by SafeArrayCreate (VT_EMPTY if unknown).
VARTYPE SafeArrayElementType(const SAFEARRAY* psa);

// A new array of the same shape and element type with deep copies of the
// elements (strings copied, interfaces AddRef'd, variants VariantCopy'd).
HRESULT SafeArrayDeepCopy(const SAFEARRAY* source, SAFEARRAY** copy);

}  // namespace qx

// Conversion between Python values and VARIANTs:
//   str <-> BSTR, bool <-> VARIANT_BOOL (-1/0), int <-> I4 (no wrapping),
//   float <-> R8, datetime <-> DATE (local wall-clock time), None <-> EMPTY,
//   qxnet.Object <-> IDispatch, list/tuple -> SAFEARRAY of VARIANT,
//   safe arrays -> tuples.
#pragma once

#include <pybind11/pybind11.h>

#include <string>

#include "qxnet/platform.h"
#include "qxnet/variant.h"

namespace qxpy {

namespace py = pybind11;

// Converts `value` into `out` (cleared first). Raises TypeError for a type
// that has no VARIANT form and OverflowError for an int outside 32 bits.
void ToVariant(py::handle value, qx::Variant& out);

// Converts `value` to type `vt` as the runtime's VariantChangeType does.
// Raises OverflowError when the value does not fit and TypeError naming
// `what` when it cannot be converted. VT_VARIANT leaves the value as it is.
void CoerceTo(qx::Variant& value, VARTYPE vt, const std::string& what);

// The Python value of a VARIANT (references followed, nothing taken over).
py::object FromVariant(const VARIANT& value);

// Stores `value` through the by-reference VARIANT `target`, converted to
// the referenced type (what an event handler hands back for an out flag).
void StoreThroughReference(VARIANT& target, py::handle value, const std::string& what);

}  // namespace qxpy

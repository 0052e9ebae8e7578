// The Python iterator over an IEnumVARIANT: each step fetches one element
// and yields its converted value.
#pragma once

#include <pybind11/pybind11.h>

#include <string>

#include "qxnet/platform.h"

namespace qxpy {

namespace py = pybind11;

// An iterator over the enumerator that `source` (the result of _NewEnum)
// holds; `owner` names the collection in messages.
py::object MakeEnumerator(const VARIANT& source, const std::string& owner);

void BindEnumerator(py::module_& module);

}  // namespace qxpy

// Failures of calls into objects, raised as qxnet.Error with the result
// code, the description and source of the error record the object set, and
// the position of the offending argument.
#pragma once

#include <pybind11/pybind11.h>

#include <optional>
#include <string>

#include "qxnet/platform.h"

namespace qxpy {

namespace py = pybind11;

// The qxnet.Error class.
py::object ErrorType();

// Raises qxnet.Error with the given fields.
[[noreturn]] void RaiseError(HRESULT hr, const std::string& description,
                             const std::string& source = {},
                             std::optional<int> argerror = std::nullopt);

// Raises qxnet.Error for a failed IDispatch::Invoke: the exception record
// when the object filled one, else the thread's error record, else a text
// of the code prefixed with `what`.
[[noreturn]] void RaiseInvokeError(HRESULT hr, EXCEPINFO& exception, std::optional<int> argerror,
                                   const std::string& what);

// Raises qxnet.Error for a failed call that reports through the thread's
// error record only (creation, connection points, enumerators).
[[noreturn]] void RaiseCallError(HRESULT hr, const std::string& what);

// Raises a Python exception of `type` with `message`.
[[noreturn]] void RaisePython(PyObject* type, const std::string& message);

// Forgets the thread's error record, so a later failure is not described
// with a stale one.
void ClearErrorRecord();

// "Member not found", "Type mismatch", ... or the code in hexadecimal.
std::string ResultText(HRESULT hr);

}  // namespace qxpy

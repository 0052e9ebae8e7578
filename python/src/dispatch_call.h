// One late-bound call through IDispatch::Invoke: the arguments converted and
// coerced to the declared parameter types, out and in/out parameters passed
// by reference, the GIL released while the object works, and the result
// returned followed by the final values of the out parameters.
#pragma once

#include <pybind11/pybind11.h>

#include <string>

#include "qxnet/platform.h"
#include "type_members.h"

namespace qxpy {

namespace py = pybind11;

struct CallTarget {
  IDispatch* object = nullptr;
  DISPID id = DISPID_UNKNOWN;
  WORD flags = DISPATCH_METHOD;
  const MemberInfo* member = nullptr;  // null: no type information, arguments as given
  std::string name;                    // for messages
};

// Calls the target with positional `args`. Returns None, the one value, or a
// tuple of the result and the out values.
py::object CallMember(const CallTarget& target, const py::tuple& args);

// Sets a property (`put` describes it; null without type information).
void PutProperty(IDispatch* object, DISPID id, const MemberInfo* put, const std::string& name,
                 py::handle value);

}  // namespace qxpy

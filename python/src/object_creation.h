// qxnet.Dispatch(name): an object created by ProgID or class identifier
// text through the class registry, as any other client creates it.
#pragma once

#include <pybind11/pybind11.h>

#include <string>

namespace qxpy {

namespace py = pybind11;

py::object Dispatch(const std::string& name);

}  // namespace qxpy

// Text conversion between Python strings and the platform's UTF-16 strings.
// Unpaired surrogates pass through both ways, so no text is lost or refused.
#pragma once

#include <pybind11/pybind11.h>

#include <string>
#include <string_view>

#include "qxnet/platform.h"

namespace qxpy {

namespace py = pybind11;

// A Python string from UTF-16 text.
py::str PyText(std::u16string_view text);
// A BSTR's full text as a Python string; null reads as empty.
py::str PyText(BSTR text);
// UTF-16 text of a Python string (TypeError when `text` is no string).
std::u16string WideText(py::handle text);
std::u16string WideText(const std::string& utf8);
// UTF-8 of UTF-16 text, for messages.
std::string Utf8Text(std::u16string_view text);

}  // namespace qxpy

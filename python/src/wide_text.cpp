#include "wide_text.h"

#include <bit>

namespace qxpy {

namespace {
constexpr int kNativeOrder = std::endian::native == std::endian::little ? -1 : 1;
constexpr const char* kNativeCodec =
    std::endian::native == std::endian::little ? "utf-16-le" : "utf-16-be";
}  // namespace

py::str PyText(std::u16string_view text) {
  int order = kNativeOrder;
  PyObject* decoded =
      PyUnicode_DecodeUTF16(reinterpret_cast<const char*>(text.data()),
                            static_cast<Py_ssize_t>(text.size() * 2), "surrogatepass", &order);
  if (!decoded) throw py::error_already_set();
  return py::reinterpret_steal<py::str>(decoded);
}

py::str PyText(BSTR text) {
  return PyText(text ? std::u16string_view(text, SysStringLen(text)) : std::u16string_view());
}

std::u16string WideText(py::handle text) {
  if (!PyUnicode_Check(text.ptr())) throw py::type_error("expected a str");
  PyObject* encoded = PyUnicode_AsEncodedString(text.ptr(), kNativeCodec, "surrogatepass");
  if (!encoded) throw py::error_already_set();
  py::bytes bytes = py::reinterpret_steal<py::bytes>(encoded);
  char* data = nullptr;
  Py_ssize_t size = 0;
  PyBytes_AsStringAndSize(bytes.ptr(), &data, &size);
  return std::u16string(reinterpret_cast<const char16_t*>(data), static_cast<size_t>(size) / 2);
}

std::u16string WideText(const std::string& utf8) { return WideText(py::str(utf8)); }

std::string Utf8Text(std::u16string_view text) {
  PyObject* encoded = PyUnicode_AsEncodedString(PyText(text).ptr(), "utf-8", "backslashreplace");
  if (!encoded) throw py::error_already_set();
  return std::string(py::reinterpret_steal<py::bytes>(encoded));
}

}  // namespace qxpy

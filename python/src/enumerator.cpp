#include "enumerator.h"

#include "com_error.h"
#include "qxnet/com_ptr.h"
#include "qxnet/variant.h"
#include "variant_conversion.h"

namespace qxpy {

namespace {

class Enumerator {
 public:
  explicit Enumerator(qx::ComPtr<IEnumVARIANT> source) : source_(std::move(source)) {}

  py::object Next() {
    if (!source_) throw py::stop_iteration();
    qx::Variant element;
    ULONG fetched = 0;
    ClearErrorRecord();
    const HRESULT hr = source_->Next(1, &element, &fetched);
    if (FAILED(hr)) RaiseCallError(hr, "IEnumVARIANT::Next");
    if (hr != S_OK || fetched == 0) {
      source_ = nullptr;  // exhausted: let the collection go
      throw py::stop_iteration();
    }
    return FromVariant(element);
  }

 private:
  qx::ComPtr<IEnumVARIANT> source_;
};

}  // namespace

py::object MakeEnumerator(const VARIANT& source, const std::string& owner) {
  IUnknown* unknown = nullptr;
  if (source.vt == VT_UNKNOWN || source.vt == VT_DISPATCH) unknown = source.punkVal;
  qx::ComPtr<IEnumVARIANT> enumerator = qx::QueryAs<IEnumVARIANT>(unknown);
  if (!enumerator) RaisePython(PyExc_TypeError, "_NewEnum of '" + owner + "' gave no IEnumVARIANT");
  return py::cast(Enumerator(std::move(enumerator)));
}

void BindEnumerator(py::module_& module) {
  py::class_<Enumerator>(module, "_Enumerator")
      .def("__iter__", [](py::object self) { return self; })
      .def("__next__", &Enumerator::Next);
}

}  // namespace qxpy

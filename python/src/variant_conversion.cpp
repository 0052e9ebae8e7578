#include "variant_conversion.h"

#include <datetime.h>

#include <cmath>
#include <limits>
#include <memory>

#include "com_error.h"
#include "dispatch_object.h"
#include "qxnet/com_ptr.h"
#include "type_members.h"
#include "wide_text.h"

namespace qxpy {

namespace {

void EnsureDateTimeApi() {
  if (!PyDateTimeAPI) {
    PyDateTime_IMPORT;
    if (!PyDateTimeAPI) throw py::error_already_set();
  }
}

struct SafeArrayDeleter {
  void operator()(SAFEARRAY* array) const { SafeArrayDestroy(array); }
};
using SafeArrayOwner = std::unique_ptr<SAFEARRAY, SafeArrayDeleter>;

std::string PythonTypeName(py::handle value) { return Py_TYPE(value.ptr())->tp_name; }

// DATE of a naive datetime (local wall-clock time); an aware one is first
// moved to the local time zone, since DATE holds local time.
DATE DateOf(py::handle value) {
  py::object local = py::reinterpret_borrow<py::object>(value);
  if (PyDateTime_Check(value.ptr()) && !local.attr("tzinfo").is_none())
    local = local.attr("astimezone")().attr("replace")(py::arg("tzinfo") = py::none());
  SYSTEMTIME time{};
  time.wYear = static_cast<WORD>(PyDateTime_GET_YEAR(local.ptr()));
  time.wMonth = static_cast<WORD>(PyDateTime_GET_MONTH(local.ptr()));
  time.wDay = static_cast<WORD>(PyDateTime_GET_DAY(local.ptr()));
  if (PyDateTime_Check(local.ptr())) {
    time.wHour = static_cast<WORD>(PyDateTime_DATE_GET_HOUR(local.ptr()));
    time.wMinute = static_cast<WORD>(PyDateTime_DATE_GET_MINUTE(local.ptr()));
    time.wSecond = static_cast<WORD>(PyDateTime_DATE_GET_SECOND(local.ptr()));
    time.wMilliseconds = static_cast<WORD>(PyDateTime_DATE_GET_MICROSECOND(local.ptr()) / 1000);
  }
  DATE date = 0;
  if (!SystemTimeToVariantTime(&time, &date))
    RaisePython(PyExc_OverflowError, "date out of the range of DATE");
  return date;
}

py::object DateTimeOf(DATE date) {
  SYSTEMTIME time{};
  if (!std::isfinite(date) || !VariantTimeToSystemTime(date, &time))
    RaisePython(PyExc_OverflowError, "DATE value out of the range of datetime");
  PyObject* made =
      PyDateTime_FromDateAndTime(time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute,
                                 time.wSecond, time.wMilliseconds * 1000);
  if (!made) throw py::error_already_set();
  return py::reinterpret_steal<py::object>(made);
}

void ToSafeArray(const py::sequence& items, qx::Variant& out) {
  const size_t count = py::len(items);
  if (count > std::numeric_limits<ULONG>::max())
    RaisePython(PyExc_OverflowError, "sequence too long for a SAFEARRAY");
  SafeArrayOwner array(SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(count)));
  if (!array) throw std::bad_alloc();
  for (size_t i = 0; i < count; ++i) {
    qx::Variant element;
    ToVariant(items[i], element);
    LONG index = static_cast<LONG>(i);
    const HRESULT hr = SafeArrayPutElement(array.get(), &index, &element);
    if (FAILED(hr)) RaiseError(hr, "Unable to fill a SAFEARRAY: " + ResultText(hr));
  }
  out.Clear();
  out.vt = VT_ARRAY | VT_VARIANT;
  out.parray = array.release();
}

py::object FromSafeArray(SAFEARRAY* array, VARTYPE element_type) {
  if (!array) return py::tuple();
  if (array->cDims != 1)
    RaisePython(PyExc_TypeError, "multi-dimensional SAFEARRAY results are not supported");
  LONG lower = 0, upper = -1;
  SafeArrayGetLBound(array, 1, &lower);
  SafeArrayGetUBound(array, 1, &upper);
  py::list items;
  for (LONG index = lower; index <= upper; ++index) {
    qx::Variant element;
    HRESULT hr;
    if (element_type == VT_VARIANT) {
      hr = SafeArrayGetElement(array, &index, &element);
    } else {
      // The element is copied into the value part of a VARIANT of its type.
      hr = SafeArrayGetElement(array, &index, &element.llVal);
      if (SUCCEEDED(hr)) element.vt = element_type;
    }
    if (FAILED(hr)) RaiseError(hr, "Unable to read a SAFEARRAY: " + ResultText(hr));
    items.append(FromVariant(element));
  }
  return py::tuple(items);
}

py::object ObjectOf(IUnknown* unknown) {
  if (!unknown) return py::none();
  qx::ComPtr<IDispatch> dispatch = qx::QueryAs<IDispatch>(unknown);
  if (!dispatch) RaisePython(PyExc_TypeError, "the object has no dispatch interface");
  return py::cast(Object(std::move(dispatch)));
}

// A VARIANT holding the value a by-reference VARIANT points to (no copy).
VARIANT Dereferenced(const VARIANT& reference) {
  VARIANT value;
  VariantInit(&value);
  value.vt = static_cast<VARTYPE>(reference.vt & ~VT_BYREF);
  if (reference.byref == nullptr) {
    value.vt = VT_EMPTY;
  } else if (value.vt & VT_ARRAY) {
    value.parray = *reference.pparray;
  } else {
    switch (value.vt) {
      case VT_I1:
      case VT_UI1:
        value.bVal = *reference.pbVal;
        break;
      case VT_I2:
      case VT_UI2:
      case VT_BOOL:
        value.iVal = *reference.piVal;
        break;
      case VT_I4:
      case VT_UI4:
      case VT_INT:
      case VT_UINT:
      case VT_ERROR:
      case VT_R4:
        value.lVal = *reference.plVal;
        break;
      case VT_I8:
      case VT_UI8:
      case VT_R8:
      case VT_DATE:
      case VT_CY:
        value.llVal = *reference.pllVal;
        break;
      case VT_BSTR:
        value.bstrVal = *reference.pbstrVal;
        break;
      case VT_DISPATCH:
      case VT_UNKNOWN:
        value.punkVal = *reference.ppunkVal;
        break;
      default:
        value.vt = VT_EMPTY;
    }
  }
  return value;
}

}  // namespace

void ToVariant(py::handle value, qx::Variant& out) {
  EnsureDateTimeApi();
  out.Clear();
  PyObject* p = value.ptr();
  if (value.is_none()) return;
  if (PyBool_Check(p)) {
    out.vt = VT_BOOL;
    out.boolVal = p == Py_True ? VARIANT_TRUE : VARIANT_FALSE;
  } else if (PyLong_Check(p)) {
    int overflow = 0;
    const long long number = PyLong_AsLongLongAndOverflow(p, &overflow);
    if (number == -1 && PyErr_Occurred()) throw py::error_already_set();
    if (overflow != 0 || number < std::numeric_limits<LONG>::min() ||
        number > std::numeric_limits<LONG>::max())
      RaisePython(PyExc_OverflowError, "int " + std::string(py::str(value)) +
                                           " does not fit a 32-bit signed integer (I4)");
    out.vt = VT_I4;
    out.lVal = static_cast<LONG>(number);
  } else if (PyFloat_Check(p)) {
    out.vt = VT_R8;
    out.dblVal = PyFloat_AsDouble(p);
  } else if (PyUnicode_Check(p)) {
    const std::u16string text = WideText(value);
    BSTR s = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (!s) throw std::bad_alloc();
    out.vt = VT_BSTR;
    out.bstrVal = s;
  } else if (PyDate_Check(p)) {
    out.date = DateOf(value);
    out.vt = VT_DATE;
  } else if (py::isinstance<Object>(value)) {
    IDispatch* dispatch = value.cast<Object&>().Get();
    if (dispatch) dispatch->AddRef();
    out.vt = VT_DISPATCH;
    out.pdispVal = dispatch;
  } else if (PyList_Check(p) || PyTuple_Check(p)) {
    ToSafeArray(py::reinterpret_borrow<py::sequence>(value), out);
  } else {
    RaisePython(PyExc_TypeError,
                "a value of type " + PythonTypeName(value) + " cannot be passed to an object");
  }
}

void CoerceTo(qx::Variant& value, VARTYPE vt, const std::string& what) {
  if (vt == VT_VARIANT || value.vt == vt) return;
  if (value.vt == VT_EMPTY && (vt == VT_DISPATCH || vt == VT_UNKNOWN)) {
    value.vt = vt;  // None passes a null interface
    value.punkVal = nullptr;
    return;
  }
  qx::Variant converted;
  const HRESULT hr = VariantChangeType(&converted, &value, 0, vt);
  if (hr == DISP_E_OVERFLOW)
    RaisePython(PyExc_OverflowError, what + ": the value does not fit " + TypeName(vt));
  if (FAILED(hr))
    RaisePython(PyExc_TypeError, what + ": cannot convert the value to " + TypeName(vt));
  value.Clear();
  converted.DetachTo(&value);
}

py::object FromVariant(const VARIANT& value) {
  EnsureDateTimeApi();
  if (value.vt & VT_BYREF) {
    if (value.vt == (VT_BYREF | VT_VARIANT))
      return value.pvarVal ? FromVariant(*value.pvarVal) : py::none();
    return FromVariant(Dereferenced(value));
  }
  if (value.vt & VT_ARRAY)
    return FromSafeArray(value.parray, static_cast<VARTYPE>(value.vt & VT_TYPEMASK));
  switch (value.vt) {
    case VT_EMPTY:
    case VT_NULL:
      return py::none();
    case VT_I1:
      return py::int_(static_cast<signed char>(value.cVal));
    case VT_UI1:
      return py::int_(value.bVal);
    case VT_I2:
      return py::int_(value.iVal);
    case VT_UI2:
      return py::int_(value.uiVal);
    case VT_I4:
      return py::int_(value.lVal);
    case VT_INT:
      return py::int_(value.intVal);
    case VT_UI4:
      return py::int_(value.ulVal);
    case VT_UINT:
      return py::int_(value.uintVal);
    case VT_I8:
      return py::int_(value.llVal);
    case VT_UI8:
      return py::int_(value.ullVal);
    case VT_ERROR:
      return value.scode == DISP_E_PARAMNOTFOUND ? py::object(py::none())
                                                 : py::object(py::int_(value.scode));
    case VT_R4:
      return py::float_(value.fltVal);
    case VT_R8:
      return py::float_(value.dblVal);
    case VT_CY:
      return py::float_(static_cast<double>(value.cyVal.int64) / 10000.0);
    case VT_DATE:
      return DateTimeOf(value.date);
    case VT_BSTR:
      return PyText(value.bstrVal);
    case VT_BOOL:
      return py::bool_(value.boolVal != VARIANT_FALSE);
    case VT_DISPATCH:
    case VT_UNKNOWN:
      return ObjectOf(value.punkVal);
    default:
      RaisePython(PyExc_TypeError,
                  "a result of VARIANT type " + std::to_string(value.vt) + " is not supported");
  }
}

void StoreThroughReference(VARIANT& target, py::handle value, const std::string& what) {
  if (!(target.vt & VT_BYREF) || !target.byref) return;
  qx::Variant converted;
  ToVariant(value, converted);
  const VARTYPE type = static_cast<VARTYPE>(target.vt & ~VT_BYREF);
  if (type == VT_VARIANT) {
    const HRESULT hr = VariantCopy(target.pvarVal, &converted);
    if (FAILED(hr)) RaisePython(PyExc_TypeError, what + ": " + ResultText(hr));
    return;
  }
  CoerceTo(converted, type, what);
  switch (type) {
    case VT_BOOL:
      *target.pboolVal = converted.boolVal;
      break;
    case VT_I2:
      *target.piVal = converted.iVal;
      break;
    case VT_I4:
      *target.plVal = converted.lVal;
      break;
    case VT_R8:
      *target.pdblVal = converted.dblVal;
      break;
    case VT_DATE:
      *target.pdate = converted.date;
      break;
    case VT_BSTR:
      SysFreeString(*target.pbstrVal);
      *target.pbstrVal = converted.bstrVal;
      converted.vt = VT_EMPTY;  // handed over
      break;
    default:
      RaisePython(PyExc_TypeError, what + ": cannot store a " + TypeName(type) + " result");
  }
}

}  // namespace qxpy

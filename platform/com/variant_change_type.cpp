// VariantChangeType: coercion of a variant's value to another type.
//
// By-reference sources are read through their pointer; the result is built
// apart from both arguments and only then stored, so in-place conversion
// (dest == src) works and a failed conversion leaves dest untouched.
// Objects (VT_DISPATCH) convert to plain types through their default value
// (DISPID_VALUE, read with DISPATCH_PROPERTYGET) unless VARIANT_NOVALUEPROP.
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

#include "platform/com/variant_date_text.h"
#include "platform/com/variant_number_text.h"
#include "platform/com/variant_type_check.h"
#include "qxnet/platform.h"
#include "qxnet/text.h"

namespace {

// Objects whose default value is again an object are followed this deep.
constexpr int kMaxDefaultValueDepth = 4;

// Valid automation date range (exclusive), as days from 30 December 1899.
constexpr double kDateBelowMin = -657435.0;
constexpr double kDateAboveMax = 2958466.0;

// A by-value view of src: by-reference values are read through their
// pointer. The view owns nothing.
HRESULT Dereference(const VARIANT* src, VARIANT* view) {
  std::memcpy(static_cast<void*>(view), src, sizeof(VARIANT));
  if (!(src->vt & VT_BYREF)) return S_OK;
  if (!src->byref) return E_INVALIDARG;
  const VARTYPE base = src->vt & ~VT_BYREF;
  if (base == VT_VARIANT) {
    const VARIANT* inner = src->pvarVal;
    if (inner->vt == (VT_VARIANT | VT_BYREF) || !qx::IsValidVariantType(inner->vt))
      return DISP_E_BADVARTYPE;
    return Dereference(inner, view);
  }
  view->vt = base;
  if (base & VT_ARRAY) {
    view->parray = *src->pparray;
  } else if (base == VT_DECIMAL) {
    std::memcpy(&view->decVal, src->pdecVal, sizeof(DECIMAL));
    view->vt = VT_DECIMAL;
  } else {
    const size_t size = qx::ScalarValueSize(base);
    if (size == 0) return DISP_E_BADVARTYPE;
    view->llVal = 0;
    std::memcpy(&view->llVal, src->byref, size);
  }
  return S_OK;
}

bool IsSupportedTarget(VARTYPE vt) {
  switch (vt) {
    case VT_EMPTY:
    case VT_NULL:
    case VT_I1:
    case VT_UI1:
    case VT_I2:
    case VT_UI2:
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_I8:
    case VT_R4:
    case VT_R8:
    case VT_DATE:
    case VT_BSTR:
    case VT_BOOL:
    case VT_DISPATCH:
    case VT_UNKNOWN:
      return true;
    default:
      return false;
  }
}

// Round half to even, independent of the floating-point rounding mode.
double RoundHalfEven(double x) {
  const double floor = std::floor(x);
  const double fraction = x - floor;
  if (fraction > 0.5) return floor + 1.0;
  if (fraction < 0.5) return floor;
  return std::fmod(floor, 2.0) == 0.0 ? floor : floor + 1.0;
}

struct Number {
  bool isInteger;
  int64_t integer;
  double real;

  static Number Of(int64_t v) { return {true, v, static_cast<double>(v)}; }
  static Number Of(double v) { return {false, 0, v}; }
  bool IsZero() const { return isInteger ? integer == 0 : real == 0.0; }
};

// The numeric value of a plain (non-object) source.
HRESULT ReadNumber(const VARIANT& v, Number* out) {
  switch (v.vt) {
    case VT_EMPTY:
      *out = Number::Of(int64_t{0});
      return S_OK;
    case VT_I1:
      *out = Number::Of(int64_t{static_cast<signed char>(v.cVal)});
      return S_OK;
    case VT_UI1:
      *out = Number::Of(int64_t{v.bVal});
      return S_OK;
    case VT_I2:
      *out = Number::Of(int64_t{v.iVal});
      return S_OK;
    case VT_BOOL:
      *out = Number::Of(int64_t{v.boolVal});
      return S_OK;
    case VT_UI2:
      *out = Number::Of(int64_t{v.uiVal});
      return S_OK;
    case VT_I4:
      *out = Number::Of(int64_t{v.lVal});
      return S_OK;
    case VT_INT:
      *out = Number::Of(int64_t{v.intVal});
      return S_OK;
    case VT_UI4:
      *out = Number::Of(int64_t{v.ulVal});
      return S_OK;
    case VT_UINT:
      *out = Number::Of(int64_t{v.uintVal});
      return S_OK;
    case VT_I8:
      *out = Number::Of(int64_t{v.llVal});
      return S_OK;
    case VT_UI8:
      *out = v.ullVal <= static_cast<uint64_t>(std::numeric_limits<int64_t>::max())
                 ? Number::Of(static_cast<int64_t>(v.ullVal))
                 : Number::Of(static_cast<double>(v.ullVal));
      return S_OK;
    case VT_R4:
      *out = Number::Of(static_cast<double>(v.fltVal));
      return S_OK;
    case VT_R8:
      *out = Number::Of(v.dblVal);
      return S_OK;
    case VT_DATE:
      *out = Number::Of(v.date);
      return S_OK;
    case VT_BSTR: {
      qx::ParsedNumber parsed;
      const HRESULT hr = qx::ParseNumberText(qx::BstrView(v.bstrVal), &parsed);
      if (FAILED(hr)) return hr;
      *out = parsed.isInteger ? Number::Of(parsed.integer) : Number::Of(parsed.real);
      return S_OK;
    }
    case VT_ERROR:
      return DISP_E_TYPEMISMATCH;
    default:
      return DISP_E_BADVARTYPE;
  }
}

// A whole number in [low, high]; reals are rounded half to even.
HRESULT ToInteger(const Number& n, int64_t low, int64_t high, int64_t* out) {
  if (n.isInteger) {
    if (n.integer < low || n.integer > high) return DISP_E_OVERFLOW;
    *out = n.integer;
    return S_OK;
  }
  const double rounded = RoundHalfEven(n.real);
  // Compare as doubles before converting; NaN fails both tests. high + 1 is
  // a power of two for every target, so the upper test is exact.
  if (!(rounded >= static_cast<double>(low) && rounded < static_cast<double>(high) + 1.0))
    return DISP_E_OVERFLOW;
  *out = static_cast<int64_t>(rounded);
  return S_OK;
}

HRESULT StoreInteger(const Number& n, VARTYPE vt, VARIANT* out) {
  int64_t low, high;
  switch (vt) {
    case VT_I1:
      low = INT8_MIN;
      high = INT8_MAX;
      break;
    case VT_UI1:
      low = 0;
      high = UINT8_MAX;
      break;
    case VT_I2:
      low = INT16_MIN;
      high = INT16_MAX;
      break;
    case VT_UI2:
      low = 0;
      high = UINT16_MAX;
      break;
    case VT_I4:
    case VT_INT:
      low = INT32_MIN;
      high = INT32_MAX;
      break;
    case VT_UI4:
    case VT_UINT:
      low = 0;
      high = UINT32_MAX;
      break;
    default:
      low = INT64_MIN;
      high = INT64_MAX;
      break;
  }
  int64_t value;
  const HRESULT hr = ToInteger(n, low, high, &value);
  if (FAILED(hr)) return hr;
  out->vt = vt;
  out->llVal = 0;
  switch (vt) {
    case VT_I1:
      out->cVal = static_cast<char>(value);
      break;
    case VT_UI1:
      out->bVal = static_cast<BYTE>(value);
      break;
    case VT_I2:
      out->iVal = static_cast<SHORT>(value);
      break;
    case VT_UI2:
      out->uiVal = static_cast<USHORT>(value);
      break;
    case VT_I4:
    case VT_INT:
      out->lVal = static_cast<LONG>(value);
      break;
    case VT_UI4:
    case VT_UINT:
      out->ulVal = static_cast<ULONG>(value);
      break;
    default:
      out->llVal = value;
      break;
  }
  return S_OK;
}

std::u16string_view Trimmed(std::u16string_view text) {
  const auto space = [](char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; };
  while (!text.empty() && space(text.front())) text.remove_prefix(1);
  while (!text.empty() && space(text.back())) text.remove_suffix(1);
  return text;
}

HRESULT ToBool(const VARIANT& v, VARIANT* out) {
  bool value;
  if (v.vt == VT_BSTR) {
    const std::u16string_view text = Trimmed(qx::BstrView(v.bstrVal));
    if (qx::EqualsIgnoringAsciiCase(text, u"true")) {
      value = true;
    } else if (qx::EqualsIgnoringAsciiCase(text, u"false")) {
      value = false;
    } else {
      Number n;
      const HRESULT hr = ReadNumber(v, &n);
      if (FAILED(hr)) return hr;
      value = !n.IsZero();
    }
  } else {
    Number n;
    const HRESULT hr = ReadNumber(v, &n);
    if (FAILED(hr)) return hr;
    value = !n.IsZero();
  }
  out->vt = VT_BOOL;
  out->llVal = 0;
  out->boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

HRESULT ToDate(const VARIANT& v, VARIANT* out) {
  double value;
  if (v.vt == VT_BSTR) {
    const HRESULT hr = qx::ParseDateText(qx::BstrView(v.bstrVal), &value);
    if (FAILED(hr)) return hr;
  } else {
    Number n;
    const HRESULT hr = ReadNumber(v, &n);
    if (FAILED(hr)) return hr;
    value = n.real;
    if (!(value > kDateBelowMin && value < kDateAboveMax)) return DISP_E_OVERFLOW;
  }
  out->vt = VT_DATE;
  out->date = value;
  return S_OK;
}

HRESULT ToReal(const VARIANT& v, VARTYPE vt, VARIANT* out) {
  Number n;
  const HRESULT hr = ReadNumber(v, &n);
  if (FAILED(hr)) return hr;
  if (vt == VT_R4) {
    if (std::isfinite(n.real) && std::fabs(n.real) > FLT_MAX) return DISP_E_OVERFLOW;
    out->vt = VT_R4;
    out->llVal = 0;
    out->fltVal = static_cast<float>(n.real);
  } else {
    out->vt = VT_R8;
    out->dblVal = n.real;
  }
  return S_OK;
}

HRESULT ToText(const VARIANT& v, USHORT flags, VARIANT* out) {
  std::u16string text;
  switch (v.vt) {
    case VT_EMPTY:
      break;
    case VT_BOOL:
      if (flags & (VARIANT_ALPHABOOL | VARIANT_LOCALBOOL))
        text = v.boolVal ? u"True" : u"False";
      else
        text = qx::FormatIntegerText(v.boolVal);
      break;
    case VT_R4:
      text = qx::FormatRealText(v.fltVal, 7);
      break;
    case VT_R8:
      text = qx::FormatRealText(v.dblVal, 15);
      break;
    case VT_UI8:
      text = qx::FormatUnsignedText(v.ullVal);
      break;
    case VT_DATE: {
      const HRESULT hr = qx::FormatDateText(v.date, &text);
      if (FAILED(hr)) return hr;
      break;
    }
    default: {
      Number n;
      const HRESULT hr = ReadNumber(v, &n);
      if (FAILED(hr)) return hr;
      text = n.isInteger ? qx::FormatIntegerText(n.integer) : qx::FormatRealText(n.real, 15);
      break;
    }
  }
  BSTR s = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  if (!s) return E_OUTOFMEMORY;
  out->vt = VT_BSTR;
  out->bstrVal = s;
  return S_OK;
}

// VT_DISPATCH / VT_UNKNOWN targets: only objects (and empty) convert.
HRESULT ToObject(const VARIANT& v, VARTYPE vt, VARIANT* out) {
  IUnknown* result = nullptr;
  if (v.vt == VT_DISPATCH || v.vt == VT_UNKNOWN) {
    if (v.punkVal) {
      const IID& iid = vt == VT_DISPATCH ? IID_IDispatch : IID_IUnknown;
      if (FAILED(v.punkVal->QueryInterface(iid, reinterpret_cast<void**>(&result))) || !result)
        return DISP_E_TYPEMISMATCH;
    }
  } else if (v.vt != VT_EMPTY) {
    return DISP_E_TYPEMISMATCH;
  }
  out->vt = vt;
  out->punkVal = result;
  return S_OK;
}

HRESULT Convert(const VARIANT* src, USHORT flags, VARTYPE vt, int depth, VARIANT* out);

// The default value of an object, converted on.
HRESULT ConvertDefaultValue(IDispatch* object, USHORT flags, VARTYPE vt, int depth, VARIANT* out) {
  if (!object || (flags & VARIANT_NOVALUEPROP) || depth >= kMaxDefaultValueDepth)
    return DISP_E_TYPEMISMATCH;
  DISPPARAMS noArguments{nullptr, nullptr, 0, 0};
  VARIANT value;
  VariantInit(&value);
  HRESULT hr = object->Invoke(DISPID_VALUE, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET,
                              &noArguments, &value, nullptr, nullptr);
  if (SUCCEEDED(hr)) hr = Convert(&value, flags, vt, depth + 1, out);
  VariantClear(&value);
  return hr;
}

HRESULT Convert(const VARIANT* src, USHORT flags, VARTYPE vt, int depth, VARIANT* out) {
  VARIANT v;
  HRESULT hr = Dereference(src, &v);
  if (FAILED(hr)) return hr;
  if (v.vt == vt) return VariantCopy(out, &v);
  if (v.vt & VT_ARRAY) return DISP_E_TYPEMISMATCH;

  switch (vt) {
    case VT_EMPTY:
      return v.vt == VT_NULL ? DISP_E_TYPEMISMATCH : S_OK;
    case VT_NULL:
      if (v.vt != VT_EMPTY) return DISP_E_TYPEMISMATCH;
      out->vt = VT_NULL;
      return S_OK;
    case VT_DISPATCH:
    case VT_UNKNOWN:
      return ToObject(v, vt, out);
    default:
      break;
  }
  if (v.vt == VT_NULL || v.vt == VT_UNKNOWN) return DISP_E_TYPEMISMATCH;
  if (v.vt == VT_DISPATCH) return ConvertDefaultValue(v.pdispVal, flags, vt, depth, out);
  switch (vt) {
    case VT_BSTR:
      return ToText(v, flags, out);
    case VT_BOOL:
      return ToBool(v, out);
    case VT_DATE:
      return ToDate(v, out);
    case VT_R4:
    case VT_R8:
      return ToReal(v, vt, out);
    default: {
      Number n;
      hr = ReadNumber(v, &n);
      if (FAILED(hr)) return hr;
      return StoreInteger(n, vt, out);
    }
  }
}

}  // namespace

extern "C" HRESULT VariantChangeType(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc,
                                     USHORT wFlags, VARTYPE vt) {
  if (!pvargDest || !pvarSrc) return E_INVALIDARG;
  if (!qx::IsValidVariantType(pvarSrc->vt)) return DISP_E_BADVARTYPE;
  if (vt & VT_ARRAY) {
    // Arrays only "convert" to their own type.
    if ((vt & VT_BYREF) || !qx::IsValidVariantType(vt)) return DISP_E_BADVARTYPE;
    if ((pvarSrc->vt & ~VT_BYREF) != vt) return DISP_E_TYPEMISMATCH;
  } else if (!IsSupportedTarget(vt)) {
    return DISP_E_BADVARTYPE;
  }
  VARIANT result;
  VariantInit(&result);
  HRESULT hr = Convert(pvarSrc, wFlags, vt, 0, &result);
  if (FAILED(hr)) {
    VariantClear(&result);
    return hr;
  }
  // The result owns its own copies, so clearing the destination (even when
  // it is the source) cannot take anything from it.
  hr = VariantClear(pvargDest);
  if (FAILED(hr)) {
    VariantClear(&result);
    return hr;
  }
  std::memcpy(static_cast<void*>(pvargDest), &result, sizeof(VARIANT));
  return S_OK;
}

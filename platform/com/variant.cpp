// VARIANT life cycle: initialise, clear (releasing what the variant owns) and
// deep copy.
#include <cstring>

#include "platform/com/safe_array_internal.h"
#include "platform/com/variant_type_check.h"
#include "qxnet/platform.h"

namespace {

// Copies what src owns into dest (dest is treated as empty): strings are
// copied, interfaces AddRef'd and arrays copied element by element;
// by-reference values stay references to the same storage.
HRESULT DuplicateInto(VARIANT* dest, const VARIANT* src) {
  std::memcpy(static_cast<void*>(dest), src, sizeof(VARIANT));
  const VARTYPE vt = src->vt;
  if (vt & VT_BYREF) return S_OK;
  if (vt & VT_ARRAY) {
    dest->parray = nullptr;
    if (!src->parray) return S_OK;
    const HRESULT hr = qx::SafeArrayDeepCopy(src->parray, &dest->parray);
    if (FAILED(hr)) VariantInit(dest);
    return hr;
  }
  switch (vt) {
    case VT_BSTR:
      if (src->bstrVal) {
        dest->bstrVal = SysAllocStringLen(src->bstrVal, SysStringLen(src->bstrVal));
        if (!dest->bstrVal) {
          VariantInit(dest);
          return E_OUTOFMEMORY;
        }
      }
      return S_OK;
    case VT_UNKNOWN:
    case VT_DISPATCH:
      if (src->punkVal) src->punkVal->AddRef();
      return S_OK;
    default:
      return S_OK;
  }
}

}  // namespace

extern "C" {

void VariantInit(VARIANTARG* pvarg) {
  if (pvarg) pvarg->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANTARG* pvarg) {
  if (!pvarg) return E_INVALIDARG;
  const VARTYPE vt = pvarg->vt;
  if (!qx::IsValidVariantType(vt)) return DISP_E_BADVARTYPE;
  if (!(vt & VT_BYREF)) {
    if (vt & VT_ARRAY) {
      // A locked array stays where it is and the variant keeps it.
      const HRESULT hr = SafeArrayDestroy(pvarg->parray);
      if (FAILED(hr)) return hr;
    } else if (vt == VT_BSTR) {
      SysFreeString(pvarg->bstrVal);
    } else if ((vt == VT_UNKNOWN || vt == VT_DISPATCH) && pvarg->punkVal) {
      pvarg->punkVal->Release();
    }
  }
  pvarg->vt = VT_EMPTY;
  pvarg->llVal = 0;
  return S_OK;
}

HRESULT VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc) {
  if (!pvargDest || !pvargSrc) return E_INVALIDARG;
  if (pvargDest == pvargSrc) return S_OK;
  if (!qx::IsValidVariantType(pvargSrc->vt)) return DISP_E_BADVARTYPE;
  // Copy first: the source may be owned by what the destination holds.
  VARIANT copy;
  HRESULT hr = DuplicateInto(&copy, pvargSrc);
  if (FAILED(hr)) return hr;
  hr = VariantClear(pvargDest);
  if (FAILED(hr)) {
    VariantClear(&copy);
    return hr;
  }
  std::memcpy(static_cast<void*>(pvargDest), &copy, sizeof(VARIANT));
  return S_OK;
}

}  // extern "C"

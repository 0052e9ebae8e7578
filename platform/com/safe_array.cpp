// Safe arrays: self-describing arrays of one element type with any number of
// dimensions.
//
// Memory layout, as on the desktop platform: one block holds 16 hidden bytes
// followed by the SAFEARRAY header with room for cDims bounds. The hidden
// bytes carry the interface identifier of interface arrays (FADF_HAVEIID) or,
// in their last four bytes, the element VARTYPE (FADF_HAVEVARTYPE). The
// element data is a separate block.
//
// Dimension order: the header stores rgsabound in reverse, so rgsabound[0] of
// the header is the right-most dimension. The caller's bounds to
// SafeArrayCreate and the indices of SafeArrayGetElement/PutElement are both
// given left-most dimension first, and SafeArrayGetLBound/GetUBound number
// dimensions from 1 at the left. Elements are stored with the left-most index
// varying fastest.
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

#include "platform/com/safe_array_internal.h"
#include "platform/com/variant_type_check.h"
#include "qxnet/platform.h"

namespace {

constexpr size_t kHiddenBytes = 16;
constexpr ULONG kMaxLocks = 0xFFFF;

unsigned char* HiddenOf(const SAFEARRAY* psa) {
  return reinterpret_cast<unsigned char*>(const_cast<SAFEARRAY*>(psa)) - kHiddenBytes;
}

// Element size for the supported element types; 0 for unsupported ones.
ULONG ElementSize(VARTYPE vt) {
  switch (vt) {
    case VT_DECIMAL:
      return sizeof(DECIMAL);
    case VT_VARIANT:
      return sizeof(VARIANT);
    default:
      return static_cast<ULONG>(qx::ScalarValueSize(vt));
  }
}

USHORT TypeFeatures(VARTYPE vt) {
  switch (vt) {
    case VT_BSTR:
      return FADF_BSTR | FADF_HAVEVARTYPE;
    case VT_VARIANT:
      return FADF_VARIANT | FADF_HAVEVARTYPE;
    case VT_UNKNOWN:
      return FADF_UNKNOWN | FADF_HAVEIID;
    case VT_DISPATCH:
      return FADF_DISPATCH | FADF_HAVEIID;
    default:
      return FADF_HAVEVARTYPE;
  }
}

// Number of elements, or false when it does not fit the address space.
bool CountElements(const SAFEARRAY* psa, size_t* count) {
  size_t n = 1;
  for (USHORT i = 0; i < psa->cDims; ++i) {
    const size_t dim = psa->rgsabound[i].cElements;
    if (dim != 0 && n > std::numeric_limits<size_t>::max() / dim) return false;
    n *= dim;
  }
  *count = n;
  return true;
}

size_t ElementCount(const SAFEARRAY* psa) {
  size_t n = 0;
  return CountElements(psa, &n) ? n : 0;
}

// Offset, in elements, of the element at rgIndices (left-most dimension
// first); false when an index is outside its dimension.
bool CellOffset(const SAFEARRAY* psa, const LONG* rgIndices, size_t* offset) {
  size_t cell = 0;
  size_t stride = 1;
  for (USHORT dim = 0; dim < psa->cDims; ++dim) {
    const SAFEARRAYBOUND& bound = psa->rgsabound[psa->cDims - 1 - dim];
    const int64_t relative = int64_t{rgIndices[dim]} - bound.lLbound;
    if (relative < 0 || relative >= int64_t{bound.cElements}) return false;
    cell += static_cast<size_t>(relative) * stride;
    stride *= bound.cElements;
  }
  *offset = cell;
  return true;
}

// Releases what the elements own and zeroes them.
void ClearElements(SAFEARRAY* psa) {
  if (!psa->pvData) return;
  const size_t n = ElementCount(psa);
  if (psa->fFeatures & FADF_BSTR) {
    auto* items = static_cast<BSTR*>(psa->pvData);
    for (size_t i = 0; i < n; ++i) SysFreeString(items[i]);
  } else if (psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
    auto* items = static_cast<IUnknown**>(psa->pvData);
    for (size_t i = 0; i < n; ++i)
      if (items[i]) items[i]->Release();
  } else if (psa->fFeatures & FADF_VARIANT) {
    auto* items = static_cast<VARIANT*>(psa->pvData);
    for (size_t i = 0; i < n; ++i) VariantClear(&items[i]);
  }
  std::memset(psa->pvData, 0, n * psa->cbElements);
}

bool Lock(SAFEARRAY* psa) {
  if (psa->cLocks >= kMaxLocks) return false;
  ++psa->cLocks;
  return true;
}

// Copies one element out of the array into the caller's storage: strings are
// copied and interfaces AddRef'd. A VARIANT destination is treated as
// uninitialised.
HRESULT CopyElementOut(SAFEARRAY* psa, const void* element, void* pv) {
  if (psa->fFeatures & FADF_BSTR) {
    const BSTR s = *static_cast<const BSTR*>(element);
    BSTR copy = nullptr;
    if (s) {
      copy = SysAllocStringLen(s, SysStringLen(s));
      if (!copy) return E_OUTOFMEMORY;
    }
    *static_cast<BSTR*>(pv) = copy;
  } else if (psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
    IUnknown* p = *static_cast<IUnknown* const*>(element);
    if (p) p->AddRef();
    *static_cast<IUnknown**>(pv) = p;
  } else if (psa->fFeatures & FADF_VARIANT) {
    VARIANT* out = static_cast<VARIANT*>(pv);
    VariantInit(out);
    return VariantCopy(out, static_cast<const VARIANT*>(element));
  } else {
    std::memcpy(pv, element, psa->cbElements);
  }
  return S_OK;
}

// Stores a copy of the caller's value into an element, releasing the old one.
// For string and interface arrays pv is the string or interface itself.
HRESULT CopyElementIn(SAFEARRAY* psa, void* element, void* pv) {
  if (psa->fFeatures & FADF_BSTR) {
    const BSTR s = static_cast<BSTR>(pv);
    BSTR copy = nullptr;
    if (s) {
      copy = SysAllocStringLen(s, SysStringLen(s));
      if (!copy) return E_OUTOFMEMORY;
    }
    BSTR* slot = static_cast<BSTR*>(element);
    SysFreeString(*slot);
    *slot = copy;
  } else if (psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
    IUnknown* p = static_cast<IUnknown*>(pv);
    if (p) p->AddRef();
    IUnknown** slot = static_cast<IUnknown**>(element);
    IUnknown* old = *slot;
    *slot = p;
    if (old) old->Release();
  } else if (psa->fFeatures & FADF_VARIANT) {
    return VariantCopy(static_cast<VARIANT*>(element), static_cast<const VARIANT*>(pv));
  } else {
    std::memcpy(element, pv, psa->cbElements);
  }
  return S_OK;
}

void FreeDescriptor(SAFEARRAY* psa) { std::free(HiddenOf(psa)); }

}  // namespace

namespace qx {

VARTYPE SafeArrayElementType(const SAFEARRAY* psa) {
  if (!psa) return VT_EMPTY;
  if (psa->fFeatures & FADF_HAVEVARTYPE) {
    uint32_t vt;
    std::memcpy(&vt, HiddenOf(psa) + kHiddenBytes - sizeof vt, sizeof vt);
    return static_cast<VARTYPE>(vt);
  }
  if (psa->fFeatures & FADF_BSTR) return VT_BSTR;
  if (psa->fFeatures & FADF_VARIANT) return VT_VARIANT;
  if (psa->fFeatures & FADF_DISPATCH) return VT_DISPATCH;
  if (psa->fFeatures & FADF_UNKNOWN) return VT_UNKNOWN;
  return VT_EMPTY;
}

HRESULT SafeArrayDeepCopy(const SAFEARRAY* source, SAFEARRAY** copy) {
  if (!source || !copy) return E_INVALIDARG;
  *copy = nullptr;
  const VARTYPE vt = SafeArrayElementType(source);
  if (ElementSize(vt) != source->cbElements) return E_INVALIDARG;
  // SafeArrayCreate takes bounds left-most first; the header keeps them reversed.
  SAFEARRAYBOUND stackBounds[8];
  SAFEARRAYBOUND* bounds = stackBounds;
  if (source->cDims > 8) {
    bounds = new (std::nothrow) SAFEARRAYBOUND[source->cDims];
    if (!bounds) return E_OUTOFMEMORY;
  }
  for (USHORT i = 0; i < source->cDims; ++i) bounds[i] = source->rgsabound[source->cDims - 1 - i];
  SAFEARRAY* result = SafeArrayCreate(vt, source->cDims, bounds);
  if (bounds != stackBounds) delete[] bounds;
  if (!result) return E_OUTOFMEMORY;

  const size_t n = ElementCount(source);
  const auto* from = static_cast<const unsigned char*>(source->pvData);
  auto* to = static_cast<unsigned char*>(result->pvData);
  HRESULT hr = S_OK;
  if (n != 0 && !from) hr = E_INVALIDARG;
  for (size_t i = 0; i < n && SUCCEEDED(hr); ++i) {
    hr = CopyElementOut(result, from + i * source->cbElements, to + i * result->cbElements);
  }
  if (FAILED(hr)) {
    SafeArrayDestroy(result);
    return hr;
  }
  *copy = result;
  return S_OK;
}

}  // namespace qx

extern "C" {

SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT cDims, SAFEARRAYBOUND* rgsabound) {
  const ULONG elementSize = ElementSize(vt);
  if (elementSize == 0 || cDims == 0 || cDims > 0xFFFF || !rgsabound) return nullptr;

  const size_t headerBytes = sizeof(SAFEARRAY) + (cDims - 1) * sizeof(SAFEARRAYBOUND);
  auto* block = static_cast<unsigned char*>(std::calloc(1, kHiddenBytes + headerBytes));
  if (!block) return nullptr;
  auto* psa = reinterpret_cast<SAFEARRAY*>(block + kHiddenBytes);
  psa->cDims = static_cast<USHORT>(cDims);
  psa->fFeatures = TypeFeatures(vt);
  psa->cbElements = elementSize;
  for (UINT i = 0; i < cDims; ++i) psa->rgsabound[i] = rgsabound[cDims - 1 - i];
  if (psa->fFeatures & FADF_HAVEIID) {
    const GUID& iid = vt == VT_DISPATCH ? IID_IDispatch : IID_IUnknown;
    std::memcpy(block, &iid, sizeof iid);
  } else {
    const uint32_t stored = vt;
    std::memcpy(block + kHiddenBytes - sizeof stored, &stored, sizeof stored);
  }

  size_t count = 0;
  if (!CountElements(psa, &count) || count > std::numeric_limits<size_t>::max() / elementSize) {
    FreeDescriptor(psa);
    return nullptr;
  }
  // Always a real block, so that SafeArrayAccessData never hands out null.
  psa->pvData = std::calloc(count == 0 ? 1 : count, elementSize);
  if (!psa->pvData) {
    FreeDescriptor(psa);
    return nullptr;
  }
  return psa;
}

SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements) {
  SAFEARRAYBOUND bound{cElements, lLbound};
  return SafeArrayCreate(vt, 1, &bound);
}

HRESULT SafeArrayDestroy(SAFEARRAY* psa) {
  if (!psa) return S_OK;
  if (psa->cLocks != 0) return DISP_E_ARRAYISLOCKED;
  ClearElements(psa);
  // Data and header that the caller owns (static or embedded) stay in place.
  if (!(psa->fFeatures & (FADF_STATIC | FADF_EMBEDDED | FADF_AUTO))) {
    std::free(psa->pvData);
    psa->pvData = nullptr;
    FreeDescriptor(psa);
  }
  return S_OK;
}

HRESULT SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound) {
  if (!psa || !plLbound) return E_INVALIDARG;
  if (nDim < 1 || nDim > psa->cDims) return DISP_E_BADINDEX;
  *plLbound = psa->rgsabound[psa->cDims - nDim].lLbound;
  return S_OK;
}

HRESULT SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound) {
  if (!psa || !plUbound) return E_INVALIDARG;
  if (nDim < 1 || nDim > psa->cDims) return DISP_E_BADINDEX;
  const SAFEARRAYBOUND& bound = psa->rgsabound[psa->cDims - nDim];
  *plUbound = static_cast<LONG>(int64_t{bound.lLbound} + bound.cElements - 1);
  return S_OK;
}

HRESULT SafeArrayGetElement(SAFEARRAY* psa, LONG* rgIndices, void* pv) {
  if (!psa || !rgIndices || !pv) return E_INVALIDARG;
  size_t cell;
  if (!CellOffset(psa, rgIndices, &cell)) return DISP_E_BADINDEX;
  if (!Lock(psa)) return E_UNEXPECTED;
  const auto* element = static_cast<unsigned char*>(psa->pvData) + cell * psa->cbElements;
  const HRESULT hr = CopyElementOut(psa, element, pv);
  --psa->cLocks;
  return hr;
}

HRESULT SafeArrayPutElement(SAFEARRAY* psa, LONG* rgIndices, void* pv) {
  if (!psa || !rgIndices) return E_INVALIDARG;
  // Only string and interface arrays take null (a null string or interface).
  if (!pv && !(psa->fFeatures & (FADF_BSTR | FADF_UNKNOWN | FADF_DISPATCH))) return E_INVALIDARG;
  size_t cell;
  if (!CellOffset(psa, rgIndices, &cell)) return DISP_E_BADINDEX;
  if (!Lock(psa)) return E_UNEXPECTED;
  auto* element = static_cast<unsigned char*>(psa->pvData) + cell * psa->cbElements;
  const HRESULT hr = CopyElementIn(psa, element, pv);
  --psa->cLocks;
  return hr;
}

HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** ppvData) {
  if (!psa || !ppvData) return E_INVALIDARG;
  if (!Lock(psa)) {
    *ppvData = nullptr;
    return E_UNEXPECTED;
  }
  *ppvData = psa->pvData;
  return S_OK;
}

HRESULT SafeArrayUnaccessData(SAFEARRAY* psa) {
  if (!psa) return E_INVALIDARG;
  if (psa->cLocks == 0) return E_UNEXPECTED;
  --psa->cLocks;
  return S_OK;
}

}  // extern "C"

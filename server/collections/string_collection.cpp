#include "server/collections/string_collection.h"

#include <algorithm>
#include <climits>

#include "qxnet/text.h"
#include "server/collections/case_fold.h"
#include "server/module/object_map.h"

namespace qx {

namespace {
constexpr std::u16string_view kInvalidParameter = u"Invalid parameter";
constexpr std::u16string_view kInvalidIndex = u"Invalid index";
}  // namespace

HRESULT CStringCollection::Item(LONG index, BSTR* pItem) {
  if (index < 0 || static_cast<size_t>(index) >= strings_.size()) {
    return Error(kInvalidIndex, E_INVALIDARG);
  }
  if (!pItem) return Error(kInvalidParameter, E_POINTER);
  *pItem = strings_[static_cast<size_t>(index)].Copy();
  return *pItem ? S_OK : E_OUTOFMEMORY;
}

HRESULT CStringCollection::get_Count(LONG* pVal) {
  if (!pVal) return Error(kInvalidParameter, E_POINTER);
  *pVal = static_cast<LONG>(std::min<size_t>(strings_.size(), LONG_MAX));
  return S_OK;
}

HRESULT CStringCollection::get__NewEnum(IUnknown** pVal) {
  if (!pVal) return E_POINTER;
  return CreateVariantEnumerator(static_cast<IStringCollection*>(this),
                                 static_cast<const EnumerationSource*>(this), pVal);
}

HRESULT CStringCollection::Add(BSTR newItem) {
  return NoThrow([&]() -> HRESULT {
    BStr copy(BstrView(newItem));  // full length; null appends empty text
    if (copy.IsNull()) return E_OUTOFMEMORY;
    strings_.push_back(std::move(copy));
    return S_OK;
  });
}

HRESULT CStringCollection::InCollection(BSTR str, VARIANT_BOOL* retVal) {
  if (!retVal) return Error(kInvalidParameter, E_POINTER);
  *retVal = VARIANT_FALSE;
  std::u16string_view wanted = BstrView(str);
  for (const BStr& candidate : strings_) {
    if (EqualIgnoringCase(candidate.View(), wanted)) {
      *retVal = VARIANT_TRUE;
      break;
    }
  }
  return S_OK;
}

size_t CStringCollection::EnumerationCount() const { return strings_.size(); }

HRESULT CStringCollection::EnumerationElement(size_t index, VARIANT* out) const {
  BSTR copy = strings_[index].Copy();
  if (!copy) return E_OUTOFMEMORY;
  out->vt = VT_BSTR;
  out->bstrVal = copy;
  return S_OK;
}

}  // namespace qx

QX_OBJECT_ENTRY(CLSID_StringCollection, qx::CStringCollection)

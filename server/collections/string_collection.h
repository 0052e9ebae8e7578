// StringCollection: an ordered list of strings the collection owns (copies of
// what was added, with their full length); duplicates are kept.
#pragma once

#include <vector>

#include "qxnet/bstr.h"
#include "qxnet/qxnetlib.h"
#include "server/collections/variant_enumerator.h"
#include "server/object_frame/dispatch_object.h"
#include "server/object_frame/no_connection_points.h"

namespace qx {

class CStringCollection final : public DispatchObject<CStringCollection, IStringCollection,
                                                      SingleThreaded, NoConnectionPoints>,
                                private EnumerationSource {
 public:
  static constexpr const CLSID& kClsid = CLSID_StringCollection;

  CStringCollection() = default;

  // IStringCollection
  HRESULT STDMETHODCALLTYPE Item(LONG index, BSTR* pItem) override;
  HRESULT STDMETHODCALLTYPE get_Count(LONG* pVal) override;
  HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown** pVal) override;
  HRESULT STDMETHODCALLTYPE Add(BSTR newItem) override;
  HRESULT STDMETHODCALLTYPE InCollection(BSTR str, VARIANT_BOOL* retVal) override;

 private:
  // EnumerationSource
  size_t EnumerationCount() const override;
  HRESULT EnumerationElement(size_t index, VARIANT* out) const override;

  std::vector<BStr> strings_;
};

}  // namespace qx

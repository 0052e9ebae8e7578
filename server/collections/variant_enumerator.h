// The enumerator of variants that the collections hand out from __NewEnum.
//
// It holds a counted reference to its collection and walks the collection's
// live sequence (not a copy) by position: an element removed or added while
// enumerating is simply seen or not seen at the positions that follow; a
// position past the end reads as the end.
#pragma once

#include <cstddef>

#include "qxnet/qxnetlib.h"

namespace qx {

// What a collection offers to its enumerators.
class EnumerationSource {
 public:
  virtual size_t EnumerationCount() const = 0;
  // Writes element `index` (< EnumerationCount()) into `out`, an initialised
  // empty variant, as a new reference or a new copy.
  virtual HRESULT EnumerationElement(size_t index, VARIANT* out) const = 0;

 protected:
  ~EnumerationSource() = default;
};

// A new enumerator over `source`, which lives inside the object `owner`
// (the enumerator keeps `owner` alive). Returned as its IUnknown.
HRESULT CreateVariantEnumerator(IUnknown* owner, const EnumerationSource* source,
                                IUnknown** enumerator);

}  // namespace qx

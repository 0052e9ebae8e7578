// How the library's item collections keep a guid index that stays exact.
//
// An item collection indexes the guids of its members so that Add and
// InCollection do not scan the whole list. An item's guid can be changed at
// any time through any holder of the same object (a channel, a catalog list,
// a work unit), so the module's own items tell every collection holding them
// when their guid changes. Items of other implementations are not indexed;
// the collections check those by reading their guid.
//
// IItemGuidTracking is a private interface of this module: it is not in the
// type library, and is answered only by a non-aggregated item of this module.
#pragma once

#include <string_view>

#include "qxnet/qxnetlib.h"

namespace qx {

// Told about every change of an item's guid while it is registered.
class GuidObserver {
 public:
  // The guid went from `before` to `after` (both as stored; an absent guid
  // is empty text). Must not call back into the item.
  virtual void GuidChanged(std::u16string_view before, std::u16string_view after) noexcept = 0;

 protected:
  ~GuidObserver() = default;
};

}  // namespace qx

// {5C0E2A7B-93D1-4F6E-8A41-2B7D9C3E6F10}
QX_DEFINE_GUID(IID_IItemGuidTracking, 0x5C0E2A7B, 0x93D1, 0x4F6E, 0x8A, 0x41, 0x2B, 0x7D, 0x9C,
               0x3E, 0x6F, 0x10);

struct IItemGuidTracking : IUnknown {
  // The stored guid (empty when absent); valid until the guid next changes.
  virtual std::u16string_view GuidText() = 0;
  // Registers one observation (an observer may register more than once and
  // is then told once per registration). E_OUTOFMEMORY on failure.
  virtual HRESULT AddGuidObserver(qx::GuidObserver* observer) = 0;
  // Removes one registration of the observer; nothing when it has none.
  virtual void RemoveGuidObserver(qx::GuidObserver* observer) = 0;
};

template <>
struct qx_iid_of<IItemGuidTracking> {
  static constexpr const GUID& value = IID_IItemGuidTracking;
};

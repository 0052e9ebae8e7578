// How the module's readers append the items they made to an item collection:
// all at once, so that the collection sizes its list and guid index once for
// the whole batch instead of growing them item by item.
//
// IItemBatch is a private interface of this module: it is not in the type
// library, and is answered only by a non-aggregated item collection of this
// module.
#pragma once

#include <vector>

#include "qxnet/com_ptr.h"
#include "qxnet/qxnetlib.h"

// {0B3B1901-C0FF-4363-B53A-48EC3B433C66}
QX_DEFINE_GUID(IID_IItemBatch, 0x0B3B1901, 0xC0FF, 0x4363, 0xB5, 0x3A, 0x48, 0xEC, 0x3B, 0x43, 0x3C,
               0x66);

struct IItemBatch : IUnknown {
  // Adds the items in their order, each as Add adds it: one whose guid
  // (ignoring case) the collection already holds, or an earlier item of the
  // batch, is dropped. Stops at the first failure; the items added before
  // it stay.
  virtual HRESULT AddBatch(const std::vector<qx::ComPtr<IUpdateItem>>& items) = 0;
};

template <>
struct qx_iid_of<IItemBatch> {
  static constexpr const GUID& value = IID_IItemBatch;
};

namespace qx {

// Adds `items` to `list` as one batch when it is one of this module's
// collections, else one by one through Add; stops at the first failure.
HRESULT AddItems(IUpdateItems& list, const std::vector<ComPtr<IUpdateItem>>& items);

}  // namespace qx

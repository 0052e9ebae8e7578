// How the module's feed and catalog readers fill a new UpdateItem: every
// value in one step, each string handed over as it was made from the file,
// instead of a copy of it per setter call.
//
// IItemContent is a private interface of this module: it is not in the type
// library, and is answered only by a non-aggregated item of this module.
#pragma once

#include "qxnet/bstr.h"
#include "qxnet/qxnetlib.h"

namespace qx::feed {

// The values a reader takes for one item. A null string is stored as empty
// text, as the item's setters store a null argument (status: as absent).
struct ItemValues {
  BStr title;
  BStr link;
  BStr description;
  BStr guid;
  BStr category;
  BStr status;
  // 0.0 (no readable date) leaves the item's date as it is.
  DATE pubDate = 0.0;
  VARIANT_BOOL required = VARIANT_FALSE;
};

}  // namespace qx::feed

// {C09BF361-D802-4893-A7A4-764B41BBB03C}
QX_DEFINE_GUID(IID_IItemContent, 0xC09BF361, 0xD802, 0x4893, 0xA7, 0xA4, 0x76, 0x4B, 0x41, 0xBB,
               0xB0, 0x3C);

struct IItemContent : IUnknown {
  // Takes over the values (which are left null); the payload data stays.
  // E_OUTOFMEMORY when an empty text cannot be made.
  virtual HRESULT TakeValues(qx::feed::ItemValues& values) = 0;
};

template <>
struct qx_iid_of<IItemContent> {
  static constexpr const GUID& value = IID_IItemContent;
};

namespace qx::feed {

// Stores the values on an item in one step when it is one of this module's,
// else through its setters (title, link, guid, description, category,
// required, then status when given and a readable date). The values are
// used up either way.
HRESULT StoreValues(IUpdateItem& item, ItemValues& values);

}  // namespace qx::feed

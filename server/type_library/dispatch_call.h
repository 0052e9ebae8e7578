// The dispatch layer's work on one described interface, shared by the
// library's IDispatch entry points and by its ITypeInfo objects.
#pragma once

#include "qxnet/platform.h"
#include "server/type_library/type_description.h"

namespace qx::typelib {

// Calls member `id` of `target`, which is the object's pointer for `iface`
// (for a custom interface: a pointer to that interface, not to IDispatch).
HRESULT InvokeDescribed(const InterfaceDesc& iface, void* target, DISPID id, WORD flags,
                        DISPPARAMS* params, VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr);

// Member name then parameter names, compared ignoring ASCII letter case.
HRESULT IdsOfNames(const InterfaceDesc& iface, LPOLESTR* names, UINT count, DISPID* ids);

// The first member with this dispid (the getter of a property pair comes
// first in the tables), or null.
const MemberDesc* FirstMemberWithId(const InterfaceDesc& iface, DISPID id);

}  // namespace qx::typelib

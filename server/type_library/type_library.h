// The QXNETLib type library, described once as data, and what is built on
// that description: late-bound calls (IDispatch), type information
// (ITypeInfo) and the library's TypeLib and Interface registry keys.
#pragma once

#include <string_view>

#include "qxnet/qxnetlib.h"

namespace qx::typelib {

// Type information for a dual interface or dispinterface of the library.
// TYPE_E_ELEMENTNOTFOUND for an identifier the library does not describe.
HRESULT GetTypeInfo(const IID& iid, ITypeInfo** out);

// Case-insensitive name lookup: names[0] is the member, the rest are its
// parameters. Unknown names get DISPID_UNKNOWN and DISP_E_UNKNOWNNAME.
HRESULT GetIDsOfNames(const IID& iid, LPOLESTR* names, UINT count, DISPID* ids);

// Calls the member `id` of `self` (an object implementing the dual interface
// `iid`) through its slot, converting the dispatch arguments by the member's
// description: coercion with VariantChangeType, by-reference in/out
// arguments, the retval into `result`, DISP_E_* codes with the argument
// index, and DISP_E_EXCEPTION with EXCEPINFO filled from the error record.
HRESULT Invoke(const IID& iid, IDispatch* self, DISPID id, WORD flags, DISPPARAMS* params,
               VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr);

// Writes (or removes) the TypeLib key of QXNETLib and the Interface key of
// every interface it describes. `modulePath` is the file holding the library.
HRESULT RegisterTypeLibrary(std::u16string_view modulePath);
HRESULT UnregisterTypeLibrary();

}  // namespace qx::typelib

// The QXNETLib type library, described once as data, and what is built on
// that description: late-bound calls (IDispatch), type information
// (ITypeInfo) and the library's TypeLib and Interface registry keys.
#pragma once

#include <span>
#include <string_view>

#include "qxnet/qxnetlib.h"
#include "server/type_library/type_description.h"

namespace qx::typelib {

// The whole description: interfaces (dual, custom and the outgoing dispatch
// interfaces) and the coclasses, in registration order.
const LibraryDesc& Library();
// The number of coclasses, for tables kept per class.
inline constexpr std::size_t kCoclassCount = 11;
std::span<const CoclassDesc> Coclasses();

// Lookups in the description; null when the library does not describe it.
const InterfaceDesc* FindInterface(const IID& iid);
const InterfaceDesc* FindInterfaceByName(std::u16string_view name);  // case-insensitive
const CoclassDesc* FindCoclass(const CLSID& clsid);
// Accepts the class name ("UpdateItem"), the version-independent ProgID
// ("QXNet.UpdateItem") or the ProgID ("QXNet.UpdateItem.1"), any letter case.
const CoclassDesc* FindCoclassByName(std::u16string_view name);

// Type information for an interface of the library (a dual interface is
// seen through IDispatch), or for a coclass when given its CLSID. Function
// descriptions list every parameter, the retval included; pointer parameters
// are VT_PTR to their value type and interface parameters VT_DISPATCH or
// VT_UNKNOWN.
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

// GetIDsOfNames over the description: member names, then the names of that
// member's parameters (their dispids are their positions).
#include "qxnet/text.h"
#include "server/type_library/dispatch_call.h"
#include "server/type_library/name_match.h"
#include "server/type_library/type_library.h"

namespace qx::typelib {

const MemberDesc* FirstMemberWithId(const InterfaceDesc& iface, DISPID id) {
  for (const MemberDesc& m : iface.members)
    if (m.dispid == id) return &m;
  return nullptr;
}

HRESULT IdsOfNames(const InterfaceDesc& iface, LPOLESTR* names, UINT count, DISPID* ids) {
  if (count == 0) return S_OK;
  if (!names || !ids) return E_POINTER;
  for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;

  const std::u16string_view memberName = WideView(names[0]);
  const MemberDesc* member = nullptr;
  for (const MemberDesc& m : iface.members) {
    if (NamesEqual(m.name, memberName)) {
      member = &m;
      break;
    }
  }
  if (!member) return DISP_E_UNKNOWNNAME;
  ids[0] = member->dispid;

  // A property's getter and setter share the name; a parameter name of
  // either one is accepted.
  bool allFound = true;
  for (UINT i = 1; i < count; ++i) {
    const std::u16string_view paramName = WideView(names[i]);
    for (const MemberDesc& m : iface.members) {
      if (!NamesEqual(m.name, member->name)) continue;
      const auto params = m.Params();
      for (std::size_t p = 0; p < params.size() && ids[i] == DISPID_UNKNOWN; ++p)
        if (NamesEqual(params[p].name, paramName)) ids[i] = static_cast<DISPID>(p);
    }
    if (ids[i] == DISPID_UNKNOWN) allFound = false;
  }
  return allFound ? S_OK : DISP_E_UNKNOWNNAME;
}

HRESULT GetIDsOfNames(const IID& iid, LPOLESTR* names, UINT count, DISPID* ids) {
  const InterfaceDesc* iface = FindInterface(iid);
  if (!iface) {
    if (ids)
      for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNINTERFACE;
  }
  return IdsOfNames(*iface, names, count, ids);
}

}  // namespace qx::typelib

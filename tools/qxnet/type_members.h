// The members of an object's dispatch interface, read from the ITypeInfo
// that its IDispatch hands out (GetTypeAttr, GetFuncDesc, GetNames).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "qxnet/platform.h"

namespace qxcli {

struct ParamInfo {
  std::string name;
  VARTYPE vt = VT_EMPTY;  // the value type (pointers followed)
  bool by_ref = false;
  unsigned short flags = 0;  // PARAMFLAG_*
  bool IsRetval() const { return (flags & PARAMFLAG_FRETVAL) != 0; }
  bool IsOut() const { return (flags & PARAMFLAG_FOUT) != 0 && !IsRetval(); }
};

struct MemberInfo {
  std::string name;
  DISPID id = 0;
  INVOKEKIND kind = INVOKE_FUNC;
  bool restricted = false;
  std::vector<ParamInfo> params;  // in declaration order, the retval included

  // Parameters a dispatch caller passes (the retval excluded).
  std::vector<const ParamInfo*> Arguments() const;
  const ParamInfo* Retval() const;
};

struct InterfaceInfo {
  std::string name;
  std::string iid;  // "{...}"
  bool dual = false;
  std::vector<MemberInfo> members;

  // The member for a call by name (any letter case) and kind; null when none.
  const MemberInfo* Find(const std::string& name, INVOKEKIND kind) const;
};

// Reads the interface description; nullopt when the object hands out no
// type information.
std::optional<InterfaceInfo> ReadInterface(IDispatch* object);

// "BSTR", "long", "VARIANT_BOOL", "DATE", "VARIANT", "IDispatch*", ...
std::string TypeName(VARTYPE vt);

}  // namespace qxcli

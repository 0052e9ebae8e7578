// The members of a dispatch interface, read from its ITypeInfo (GetTypeAttr,
// GetFuncDesc, GetNames): names, DISPIDs, invoke kinds and parameters.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "qxnet/platform.h"

namespace qxpy {

struct ParamInfo {
  std::u16string name;
  VARTYPE vt = VT_VARIANT;  // the value type, pointers followed
  bool by_ref = false;
  USHORT flags = 0;  // PARAMFLAG_*

  bool IsRetval() const { return (flags & PARAMFLAG_FRETVAL) != 0; }
  bool IsOut() const { return (flags & PARAMFLAG_FOUT) != 0 && !IsRetval(); }
  bool IsIn() const { return (flags & PARAMFLAG_FIN) != 0 || (flags & PARAMFLAG_FOUT) == 0; }
  bool IsOptional() const { return (flags & PARAMFLAG_FOPT) != 0; }
};

struct MemberInfo {
  std::u16string name;
  DISPID id = 0;
  INVOKEKIND kind = INVOKE_FUNC;
  bool hidden = false;            // restricted or hidden from browsing
  std::vector<ParamInfo> params;  // declaration order, the retval included

  // The parameters a caller passes (the retval excluded).
  std::vector<const ParamInfo*> Arguments() const;
  const ParamInfo* Retval() const;
  // "RetrieveFile(url: BSTR, parentWnd: long, fileName: BSTR [in, out]) -> ..."
  std::string Signature() const;
};

struct InterfaceInfo {
  std::u16string name;
  GUID iid{};
  std::vector<MemberInfo> members;

  const MemberInfo* Find(DISPID id, INVOKEKIND kind) const;
  const MemberInfo* Find(std::u16string_view name, INVOKEKIND kind) const;
};

// The description of the interface `info` describes.
std::shared_ptr<const InterfaceInfo> ReadInterface(ITypeInfo* info);

// The description of an object's dispatch interface, read once per
// interface identifier; null when the object hands out no type information.
std::shared_ptr<const InterfaceInfo> InterfaceOf(IDispatch* object);

// The description of interface `iid` among the types that `object`'s type
// information refers to; null when none is found.
std::shared_ptr<const InterfaceInfo> ReferencedInterface(IDispatch* object, const GUID& iid);

// "BSTR", "long", "VARIANT_BOOL", "DATE", "VARIANT", "IDispatch*", ...
std::string TypeName(VARTYPE vt);

}  // namespace qxpy

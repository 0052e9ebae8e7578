// The members of a dispatch interface as its type information describes
// them (GetTypeAttr, GetFuncDesc, GetNames): names, DISPIDs, invoke kinds
// and parameters. Late-bound callers use it to tell a property get from a
// method, to name arguments and to describe an object.
// Installed for clients; the project's own tools use the same header.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "qxnet/bstr.h"
#include "qxnet/com_ptr.h"

namespace qx {

struct ParamInfo {
  std::string name;
  VARTYPE vt = VT_VARIANT;  // the value type, pointers followed
  bool by_ref = false;
  USHORT flags = 0;  // PARAMFLAG_*

  bool IsRetval() const { return (flags & PARAMFLAG_FRETVAL) != 0; }
  bool IsOut() const { return (flags & PARAMFLAG_FOUT) != 0 && !IsRetval(); }
  bool IsIn() const { return (flags & PARAMFLAG_FIN) != 0 || (flags & PARAMFLAG_FOUT) == 0; }
  bool IsOptional() const { return (flags & PARAMFLAG_FOPT) != 0; }
};

struct MemberInfo {
  std::string name;
  DISPID id = 0;
  INVOKEKIND kind = INVOKE_FUNC;
  bool restricted = false;        // not for late-bound callers
  bool hidden = false;            // not listed to users
  std::vector<ParamInfo> params;  // declaration order, the retval included

  // The parameters a caller passes (the retval excluded).
  std::vector<const ParamInfo*> Arguments() const {
    std::vector<const ParamInfo*> list;
    for (const ParamInfo& p : params)
      if (!p.IsRetval()) list.push_back(&p);
    return list;
  }
  const ParamInfo* Retval() const {
    for (const ParamInfo& p : params)
      if (p.IsRetval()) return &p;
    return nullptr;
  }
};

// Member names compare as dispatch names do: without regard to ASCII case.
inline bool SameMemberName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const char x = (a[i] >= 'A' && a[i] <= 'Z') ? static_cast<char>(a[i] - 'A' + 'a') : a[i];
    const char y = (b[i] >= 'A' && b[i] <= 'Z') ? static_cast<char>(b[i] - 'A' + 'a') : b[i];
    if (x != y) return false;
  }
  return true;
}

struct InterfaceInfo {
  std::string name;
  GUID iid{};
  bool dual = false;
  std::vector<MemberInfo> members;

  const MemberInfo* Find(DISPID id, INVOKEKIND kind) const {
    for (const MemberInfo& m : members)
      if (m.id == id && m.kind == kind) return &m;
    return nullptr;
  }
  const MemberInfo* Find(std::string_view wanted, INVOKEKIND kind) const {
    for (const MemberInfo& m : members)
      if (m.kind == kind && SameMemberName(m.name, wanted)) return &m;
    return nullptr;
  }
};

namespace dispatch_members_detail {

inline ParamInfo ReadParam(const ELEMDESC& element) {
  ParamInfo param;
  const TYPEDESC* type = &element.tdesc;
  while (type->vt == VT_PTR && type->lptdesc) {
    param.by_ref = true;
    type = type->lptdesc;
  }
  param.vt = type->vt;
  param.flags = element.paramdesc.wParamFlags;
  return param;
}

inline bool ReadMember(ITypeInfo* info, UINT index, MemberInfo& member) {
  FUNCDESC* desc = nullptr;
  if (FAILED(info->GetFuncDesc(index, &desc)) || !desc) return false;
  member.id = desc->memid;
  member.kind = desc->invkind;
  member.restricted = (desc->wFuncFlags & FUNCFLAG_FRESTRICTED) != 0;
  member.hidden = (desc->wFuncFlags & FUNCFLAG_FHIDDEN) != 0;
  for (SHORT p = 0; p < desc->cParams; ++p)
    member.params.push_back(ReadParam(desc->lprgelemdescParam[p]));
  info->ReleaseFuncDesc(desc);

  const UINT wanted = static_cast<UINT>(member.params.size()) + 1;
  std::vector<BSTR> names(wanted, nullptr);
  UINT got = 0;
  if (SUCCEEDED(info->GetNames(member.id, names.data(), wanted, &got))) {
    for (UINT n = 0; n < got && n < wanted; ++n) {
      BStr owned = BStr::Attach(names[n]);
      (n == 0 ? member.name : member.params[n - 1].name) = owned.Utf8();
    }
  }
  return true;
}

}  // namespace dispatch_members_detail

// The type information `object` hands out; null when none.
inline ComPtr<ITypeInfo> TypeInfoOf(IDispatch* object) {
  UINT count = 0;
  ComPtr<ITypeInfo> info;
  if (SUCCEEDED(object->GetTypeInfoCount(&count)) && count > 0)
    object->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.Put());
  return info;
}

// The identifier of the type `info` describes (all zero when unreadable).
inline GUID TypeGuid(ITypeInfo* info) {
  GUID guid{};
  TYPEATTR* attr = nullptr;
  if (SUCCEEDED(info->GetTypeAttr(&attr)) && attr) {
    guid = attr->guid;
    info->ReleaseTypeAttr(attr);
  }
  return guid;
}

// The description of the interface `info` describes; null when unreadable.
inline std::shared_ptr<const InterfaceInfo> ReadInterface(ITypeInfo* info) {
  constexpr MEMBERID kTheTypeItself = -1;
  TYPEATTR* attr = nullptr;
  if (!info || FAILED(info->GetTypeAttr(&attr)) || !attr) return nullptr;
  auto result = std::make_shared<InterfaceInfo>();
  result->iid = attr->guid;
  result->dual = (attr->wTypeFlags & TYPEFLAG_FDUAL) != 0;
  const WORD functions = attr->cFuncs;
  info->ReleaseTypeAttr(attr);

  BStr name;
  if (SUCCEEDED(info->GetDocumentation(kTheTypeItself, name.Put(), nullptr, nullptr, nullptr)))
    result->name = name.Utf8();
  for (UINT i = 0; i < functions; ++i) {
    MemberInfo member;
    if (dispatch_members_detail::ReadMember(info, i, member))
      result->members.push_back(std::move(member));
  }
  return result;
}

// The description of an object's dispatch interface; null when the object
// hands out no type information.
inline std::shared_ptr<const InterfaceInfo> ReadInterface(IDispatch* object) {
  return ReadInterface(TypeInfoOf(object).Get());
}

// The description of interface `iid` among the types that `object`'s type
// information refers to (its outgoing interface, say); null when none is.
inline std::shared_ptr<const InterfaceInfo> ReferencedInterface(IDispatch* object,
                                                                const GUID& iid) {
  // Referenced types are handed out by handle, counting up from zero; the
  // walk ends at the first handle the type information does not know.
  constexpr HREFTYPE kMaxReferencedTypes = 4096;
  ComPtr<ITypeInfo> info = TypeInfoOf(object);
  if (!info) return nullptr;
  for (HREFTYPE ref = 0; ref < kMaxReferencedTypes; ++ref) {
    ComPtr<ITypeInfo> referenced;
    if (FAILED(info->GetRefTypeInfo(ref, referenced.Put())) || !referenced) break;
    if (TypeGuid(referenced.Get()) == iid) return ReadInterface(referenced.Get());
  }
  return nullptr;
}

// "BSTR", "long", "VARIANT_BOOL", "DATE", "VARIANT", "IDispatch*", ...
inline std::string TypeName(VARTYPE vt) {
  std::string name;
  switch (vt & VT_TYPEMASK) {
    case VT_EMPTY:
      name = "void";
      break;
    case VT_I2:
      name = "short";
      break;
    case VT_I4:
      name = "long";
      break;
    case VT_R4:
      name = "float";
      break;
    case VT_R8:
      name = "double";
      break;
    case VT_CY:
      name = "CURRENCY";
      break;
    case VT_DATE:
      name = "DATE";
      break;
    case VT_BSTR:
      name = "BSTR";
      break;
    case VT_DISPATCH:
      name = "IDispatch*";
      break;
    case VT_ERROR:
      name = "SCODE";
      break;
    case VT_BOOL:
      name = "VARIANT_BOOL";
      break;
    case VT_VARIANT:
      name = "VARIANT";
      break;
    case VT_UNKNOWN:
      name = "IUnknown*";
      break;
    case VT_UI1:
      name = "unsigned char";
      break;
    case VT_I8:
      name = "int64";
      break;
    case VT_INT:
      name = "int";
      break;
    case VT_VOID:
      name = "void";
      break;
    case VT_HRESULT:
      name = "HRESULT";
      break;
    default:
      name = "vt" + std::to_string(vt & VT_TYPEMASK);
  }
  return (vt & VT_ARRAY) ? "SAFEARRAY(" + name + ")" : name;
}

}  // namespace qx

#include "tools/qxnet/type_members.h"

#include <strings.h>

#include "server/object_frame/bstr.h"
#include "server/object_frame/com_ptr.h"

namespace qxcli {

std::vector<const ParamInfo*> MemberInfo::Arguments() const {
  std::vector<const ParamInfo*> list;
  for (const ParamInfo& p : params)
    if (!p.IsRetval()) list.push_back(&p);
  return list;
}

const ParamInfo* MemberInfo::Retval() const {
  for (const ParamInfo& p : params)
    if (p.IsRetval()) return &p;
  return nullptr;
}

const MemberInfo* InterfaceInfo::Find(const std::string& wanted, INVOKEKIND kind) const {
  for (const MemberInfo& m : members)
    if (m.kind == kind && strcasecmp(m.name.c_str(), wanted.c_str()) == 0) return &m;
  return nullptr;
}

std::string TypeName(VARTYPE vt) {
  switch (vt & VT_TYPEMASK) {
    case VT_EMPTY: return "void";
    case VT_I2: return "short";
    case VT_I4: return "long";
    case VT_R4: return "float";
    case VT_R8: return "double";
    case VT_CY: return "CURRENCY";
    case VT_DATE: return "DATE";
    case VT_BSTR: return "BSTR";
    case VT_DISPATCH: return "IDispatch*";
    case VT_ERROR: return "SCODE";
    case VT_BOOL: return "VARIANT_BOOL";
    case VT_VARIANT: return "VARIANT";
    case VT_UNKNOWN: return "IUnknown*";
    case VT_UI1: return "unsigned char";
    case VT_I8: return "int64";
    case VT_INT: return "int";
    case VT_VOID: return "void";
    case VT_HRESULT: return "HRESULT";
    default: return "vt" + std::to_string(vt);
  }
}

namespace {

ParamInfo ReadParam(const ELEMDESC& element) {
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

std::string GuidText(const GUID& guid) {
  OLECHAR text[64] = {};
  if (StringFromGUID2(guid, text, 64) <= 0) return {};
  return qx::Utf16ToUtf8(qx::WideView(text));
}

}  // namespace

std::optional<InterfaceInfo> ReadInterface(IDispatch* object) {
  UINT count = 0;
  if (FAILED(object->GetTypeInfoCount(&count)) || count == 0) return std::nullopt;
  qx::ComPtr<ITypeInfo> info;
  if (FAILED(object->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.Put())) || !info) return std::nullopt;
  TYPEATTR* attr = nullptr;
  if (FAILED(info->GetTypeAttr(&attr)) || !attr) return std::nullopt;
  InterfaceInfo result;
  result.iid = GuidText(attr->guid);
  result.dual = (attr->wTypeFlags & TYPEFLAG_FDUAL) != 0;
  const WORD functions = attr->cFuncs;
  info->ReleaseTypeAttr(attr);

  qx::BStr name;
  if (SUCCEEDED(info->GetDocumentation(-1, name.Put(), nullptr, nullptr, nullptr)))
    result.name = name.Utf8();

  for (UINT i = 0; i < functions; ++i) {
    FUNCDESC* desc = nullptr;
    if (FAILED(info->GetFuncDesc(i, &desc)) || !desc) continue;
    MemberInfo member;
    member.id = desc->memid;
    member.kind = desc->invkind;
    member.restricted = (desc->wFuncFlags & FUNCFLAG_FRESTRICTED) != 0;
    for (SHORT p = 0; p < desc->cParams; ++p)
      member.params.push_back(ReadParam(desc->lprgelemdescParam[p]));
    const UINT wanted = static_cast<UINT>(desc->cParams) + 1;
    info->ReleaseFuncDesc(desc);

    std::vector<BSTR> names(wanted, nullptr);
    UINT got = 0;
    if (SUCCEEDED(info->GetNames(member.id, names.data(), wanted, &got))) {
      for (UINT n = 0; n < got; ++n) {
        qx::BStr owned = qx::BStr::Attach(names[n]);
        if (n == 0)
          member.name = owned.Utf8();
        else if (n - 1 < member.params.size())
          member.params[n - 1].name = owned.Utf8();
      }
    }
    result.members.push_back(std::move(member));
  }
  return result;
}

}  // namespace qxcli

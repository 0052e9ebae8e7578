#include "type_members.h"

#include <cstring>
#include <map>

#include "server/object_frame/com_ptr.h"
#include "wide_text.h"

namespace qxpy {

namespace {

constexpr MEMBERID kMemberIdNil = -1;
// Referenced types are handed out by handle; a library has far fewer.
constexpr HREFTYPE kMaxReferencedTypes = 4096;

char16_t FoldAscii(char16_t c) { return (c >= u'A' && c <= u'Z') ? c + (u'a' - u'A') : c; }

bool SameName(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  return true;
}

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

struct GuidLess {
  bool operator()(const GUID& a, const GUID& b) const { return std::memcmp(&a, &b, sizeof a) < 0; }
};

GUID GuidOf(ITypeInfo* info) {
  GUID guid{};
  TYPEATTR* attr = nullptr;
  if (SUCCEEDED(info->GetTypeAttr(&attr)) && attr) {
    guid = attr->guid;
    info->ReleaseTypeAttr(attr);
  }
  return guid;
}

}  // namespace

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

std::string MemberInfo::Signature() const {
  std::string text = Utf8Text(name) + "(";
  std::vector<std::string> returned;
  if (const ParamInfo* retval = Retval()) returned.push_back(TypeName(retval->vt));
  bool first = true;
  for (const ParamInfo* p : Arguments()) {
    if (!first) text += ", ";
    first = false;
    text += Utf8Text(p->name) + ": " + TypeName(p->vt);
    if (p->IsOut()) {
      text += p->IsIn() ? " [in, out]" : " [out]";
      returned.push_back(Utf8Text(p->name) + ": " + TypeName(p->vt));
    } else if (p->IsOptional()) {
      text += " [optional]";
    }
  }
  text += ")";
  if (returned.empty()) return text + " -> None";
  if (returned.size() == 1) return text + " -> " + returned.front();
  text += " -> (";
  for (size_t i = 0; i < returned.size(); ++i) text += (i ? ", " : "") + returned[i];
  return text + ")";
}

const MemberInfo* InterfaceInfo::Find(DISPID id, INVOKEKIND kind) const {
  for (const MemberInfo& m : members)
    if (m.id == id && m.kind == kind) return &m;
  return nullptr;
}

const MemberInfo* InterfaceInfo::Find(std::u16string_view wanted, INVOKEKIND kind) const {
  for (const MemberInfo& m : members)
    if (m.kind == kind && SameName(m.name, wanted)) return &m;
  return nullptr;
}

std::shared_ptr<const InterfaceInfo> ReadInterface(ITypeInfo* info) {
  TYPEATTR* attr = nullptr;
  if (FAILED(info->GetTypeAttr(&attr)) || !attr) return nullptr;
  auto result = std::make_shared<InterfaceInfo>();
  result->iid = attr->guid;
  const WORD functions = attr->cFuncs;
  info->ReleaseTypeAttr(attr);

  OwnedBstr name;
  if (SUCCEEDED(info->GetDocumentation(kMemberIdNil, name.Put(), nullptr, nullptr, nullptr)))
    result->name = std::u16string(name.View());

  for (UINT i = 0; i < functions; ++i) {
    FUNCDESC* desc = nullptr;
    if (FAILED(info->GetFuncDesc(i, &desc)) || !desc) continue;
    MemberInfo member;
    member.id = desc->memid;
    member.kind = desc->invkind;
    member.hidden = (desc->wFuncFlags & (FUNCFLAG_FRESTRICTED | FUNCFLAG_FHIDDEN)) != 0;
    for (SHORT p = 0; p < desc->cParams; ++p)
      member.params.push_back(ReadParam(desc->lprgelemdescParam[p]));
    info->ReleaseFuncDesc(desc);

    const UINT wanted = static_cast<UINT>(member.params.size()) + 1;
    std::vector<BSTR> names(wanted, nullptr);
    UINT got = 0;
    if (SUCCEEDED(info->GetNames(member.id, names.data(), wanted, &got))) {
      for (UINT n = 0; n < got && n < wanted; ++n) {
        OwnedBstr owned(names[n]);
        if (n == 0)
          member.name = std::u16string(owned.View());
        else
          member.params[n - 1].name = std::u16string(owned.View());
      }
    }
    result->members.push_back(std::move(member));
  }
  return result;
}

std::shared_ptr<const InterfaceInfo> InterfaceOf(IDispatch* object) {
  UINT count = 0;
  if (FAILED(object->GetTypeInfoCount(&count)) || count == 0) return nullptr;
  qx::ComPtr<ITypeInfo> info;
  if (FAILED(object->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.Put())) || !info) return nullptr;
  // Read under the GIL, which every caller holds: the cache needs no lock.
  static auto* cache = new std::map<GUID, std::shared_ptr<const InterfaceInfo>, GuidLess>();
  const GUID iid = GuidOf(info.Get());
  if (auto found = cache->find(iid); found != cache->end()) return found->second;
  auto read = ReadInterface(info.Get());
  if (read) (*cache)[iid] = read;
  return read;
}

std::shared_ptr<const InterfaceInfo> ReferencedInterface(IDispatch* object, const GUID& iid) {
  UINT count = 0;
  if (FAILED(object->GetTypeInfoCount(&count)) || count == 0) return nullptr;
  qx::ComPtr<ITypeInfo> info;
  if (FAILED(object->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.Put())) || !info) return nullptr;
  // The handles of the types a type information refers to count up from
  // zero; the walk ends at the first handle it does not know.
  for (HREFTYPE ref = 0; ref < kMaxReferencedTypes; ++ref) {
    qx::ComPtr<ITypeInfo> referenced;
    if (FAILED(info->GetRefTypeInfo(ref, referenced.Put())) || !referenced) break;
    if (GuidOf(referenced.Get()) == iid) return ReadInterface(referenced.Get());
  }
  return nullptr;
}

std::string TypeName(VARTYPE vt) {
  std::string name;
  switch (vt & VT_TYPEMASK) {
    case VT_EMPTY: name = "void"; break;
    case VT_I2: name = "short"; break;
    case VT_I4: name = "long"; break;
    case VT_R4: name = "float"; break;
    case VT_R8: name = "double"; break;
    case VT_CY: name = "CURRENCY"; break;
    case VT_DATE: name = "DATE"; break;
    case VT_BSTR: name = "BSTR"; break;
    case VT_DISPATCH: name = "IDispatch*"; break;
    case VT_ERROR: name = "SCODE"; break;
    case VT_BOOL: name = "VARIANT_BOOL"; break;
    case VT_VARIANT: name = "VARIANT"; break;
    case VT_UNKNOWN: name = "IUnknown*"; break;
    case VT_UI1: name = "unsigned char"; break;
    case VT_I8: name = "int64"; break;
    case VT_INT: name = "int"; break;
    case VT_VOID: name = "void"; break;
    case VT_HRESULT: name = "HRESULT"; break;
    default: name = "vt" + std::to_string(vt & VT_TYPEMASK);
  }
  return (vt & VT_ARRAY) ? "SAFEARRAY(" + name + ")" : name;
}

}  // namespace qxpy

// ITypeInfo over the description of one interface or coclass.
//
// What the answers look like:
// - A dual interface is seen through IDispatch (TKIND_DISPATCH, flagged
//   dual and dispatchable), _QXNetConnect as TKIND_INTERFACE, the event
//   interfaces as TKIND_DISPATCH, coclasses as TKIND_COCLASS.
// - A FUNCDESC lists every parameter of the C++ member, the retval included
//   (flagged PARAMFLAG_FOUT | PARAMFLAG_FRETVAL); the function's own type is
//   VT_HRESULT (VT_VOID for event members). A parameter reached through a
//   pointer is VT_PTR to its value type; interface parameters are typed as
//   VT_DISPATCH or VT_UNKNOWN (the library hands out no referenced type
//   information for them). oVft is the member's byte offset in the vtable.
// - The implemented interfaces of a coclass are reachable through
//   GetRefTypeOfImplType / GetRefTypeInfo; everything that needs a type
//   library object or a type compiler answers E_NOTIMPL.
#include <new>

#include "server/object_frame/counted_object.h"
#include "server/type_library/dispatch_call.h"
#include "server/type_library/type_library.h"

namespace qx::typelib {
namespace {

constexpr MEMBERID kMemberIdNil = -1;

// One allocation per FUNCDESC: the descriptor, its parameters and the
// pointed-to types of pointer parameters. Released as a whole.
struct FuncDescBlock {
  FUNCDESC desc;
  ELEMDESC params[kMaxParams];
  TYPEDESC pointees[kMaxParams];
};

USHORT ParamFlags(Dir dir) {
  switch (dir) {
    case Dir::In:
      return PARAMFLAG_FIN;
    case Dir::Out:
      return PARAMFLAG_FOUT;
    case Dir::InOut:
      return PARAMFLAG_FIN | PARAMFLAG_FOUT;
    case Dir::OutRetval:
      return PARAMFLAG_FOUT | PARAMFLAG_FRETVAL;
  }
  return PARAMFLAG_NONE;
}

INVOKEKIND InvokeKindOf(Kind kind) {
  switch (kind) {
    case Kind::PropGet:
      return INVOKE_PROPERTYGET;
    case Kind::PropPut:
      return INVOKE_PROPERTYPUT;
    case Kind::Method:
      break;
  }
  return INVOKE_FUNC;
}

BSTR Copy(const char16_t* text) { return text ? SysAllocString(text) : nullptr; }

class DescribedTypeInfo final : public CountedObject<ITypeInfo> {
 public:
  DescribedTypeInfo(const InterfaceDesc* iface, const CoclassDesc* coclass)
      : iface_(iface), coclass_(coclass) {}

  HRESULT STDMETHODCALLTYPE GetTypeAttr(TYPEATTR** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    auto* attr = new (std::nothrow) TYPEATTR{};
    if (!attr) return E_OUTOFMEMORY;
    attr->memidConstructor = kMemberIdNil;
    attr->memidDestructor = kMemberIdNil;
    attr->cbAlignment = alignof(void*);
    attr->cbSizeInstance = sizeof(void*);
    attr->wMajorVerNum = Library().majorVersion;
    attr->wMinorVerNum = Library().minorVersion;
    if (coclass_) {
      attr->guid = *coclass_->clsid;
      attr->typekind = TKIND_COCLASS;
      attr->cImplTypes = static_cast<WORD>(ImplementedCount());
      attr->wTypeFlags = TYPEFLAG_FCANCREATE;
    } else {
      attr->guid = *iface_->iid;
      attr->cFuncs = static_cast<WORD>(iface_->members.size());
      attr->cImplTypes = 1;  // IDispatch or IUnknown
      switch (iface_->kind) {
        case InterfaceKind::Dual:
          attr->typekind = TKIND_DISPATCH;
          attr->wTypeFlags = TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE | TYPEFLAG_FOLEAUTOMATION;
          attr->cbSizeVft = 7 * sizeof(void*);
          break;
        case InterfaceKind::Custom:
          attr->typekind = TKIND_INTERFACE;
          attr->cbSizeVft = static_cast<WORD>((3 + iface_->members.size()) * sizeof(void*));
          break;
        case InterfaceKind::Dispatch:
          attr->typekind = TKIND_DISPATCH;
          attr->wTypeFlags = TYPEFLAG_FDISPATCHABLE;
          attr->cbSizeVft = 7 * sizeof(void*);
          break;
      }
    }
    *out = attr;
    return S_OK;
  }
  void STDMETHODCALLTYPE ReleaseTypeAttr(TYPEATTR* attr) override { delete attr; }

  HRESULT STDMETHODCALLTYPE GetFuncDesc(UINT index, FUNCDESC** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!iface_ || index >= iface_->members.size()) return TYPE_E_ELEMENTNOTFOUND;
    const MemberDesc& m = iface_->members[index];
    auto* block = new (std::nothrow) FuncDescBlock{};
    if (!block) return E_OUTOFMEMORY;
    FUNCDESC& f = block->desc;
    const bool events = iface_->kind == InterfaceKind::Dispatch;
    f.memid = m.dispid;
    f.funckind = iface_->kind == InterfaceKind::Custom ? FUNC_PUREVIRTUAL : FUNC_DISPATCH;
    f.invkind = InvokeKindOf(m.kind);
    f.callconv = CC_STDCALL;
    f.cParams = static_cast<SHORT>(m.paramCount);
    f.oVft = m.vtableOffset ? static_cast<SHORT>(m.vtableOffset()) : SHORT{0};
    f.elemdescFunc.tdesc.vt = events ? VT_VOID : VT_HRESULT;
    if (m.dispid == DISPID_NEWENUM) f.wFuncFlags = FUNCFLAG_FRESTRICTED;
    f.lprgelemdescParam = m.paramCount ? block->params : nullptr;
    for (std::size_t i = 0; i < m.paramCount; ++i) {
      const ParamDesc& p = m.params[i];
      ELEMDESC& e = block->params[i];
      if (p.byRef) {
        block->pointees[i].vt = p.vt;
        e.tdesc.vt = VT_PTR;
        e.tdesc.lptdesc = &block->pointees[i];
      } else {
        e.tdesc.vt = p.vt;
      }
      e.paramdesc.wParamFlags = ParamFlags(p.dir);
    }
    *out = &block->desc;
    return S_OK;
  }
  void STDMETHODCALLTYPE ReleaseFuncDesc(FUNCDESC* desc) override {
    // The FUNCDESC is the first member of the block it was allocated in.
    delete reinterpret_cast<FuncDescBlock*>(desc);
  }

  HRESULT STDMETHODCALLTYPE GetNames(MEMBERID memid, BSTR* names, UINT maxNames,
                                     UINT* count) override {
    if (!names || !count) return E_INVALIDARG;
    *count = 0;
    const MemberDesc* m = iface_ ? FirstMemberWithId(*iface_, memid) : nullptr;
    if (!m) return TYPE_E_ELEMENTNOTFOUND;
    UINT n = 0;
    if (n < maxNames) names[n++] = Copy(m->name);
    for (const ParamDesc& p : m->Params())
      if (n < maxNames) names[n++] = Copy(p.name);
    *count = n;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE GetIDsOfNames(LPOLESTR* names, UINT count, MEMBERID* ids) override {
    if (!iface_) {
      if (ids)
        for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
      return DISP_E_UNKNOWNNAME;
    }
    return IdsOfNames(*iface_, names, count, ids);
  }

  HRESULT STDMETHODCALLTYPE Invoke(PVOID instance, MEMBERID memid, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr) override {
    if (!iface_) return DISP_E_MEMBERNOTFOUND;
    return InvokeDescribed(*iface_, instance, memid, flags, params, result, excepInfo, argErr);
  }

  HRESULT STDMETHODCALLTYPE GetDocumentation(MEMBERID memid, BSTR* name, BSTR* docString,
                                             DWORD* helpContext, BSTR* helpFile) override {
    const char16_t* foundName = nullptr;
    const char16_t* foundDoc = nullptr;
    if (memid == kMemberIdNil) {
      foundName = coclass_ ? coclass_->name : iface_->name;
      if (coclass_) foundDoc = coclass_->description;
    } else {
      const MemberDesc* m = iface_ ? FirstMemberWithId(*iface_, memid) : nullptr;
      if (!m) return TYPE_E_ELEMENTNOTFOUND;
      foundName = m->name;
    }
    if (name) *name = Copy(foundName);
    if (docString) *docString = Copy(foundDoc);
    if (helpContext) *helpContext = 0;
    if (helpFile) *helpFile = nullptr;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE GetRefTypeOfImplType(UINT index, HREFTYPE* ref) override {
    if (!ref) return E_POINTER;
    const InterfaceDesc* implemented = Implemented(index);
    if (!implemented) return TYPE_E_ELEMENTNOTFOUND;
    *ref = static_cast<HREFTYPE>(implemented - Library().interfaces.data());
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE GetImplTypeFlags(UINT index, INT* flags) override {
    if (!flags) return E_POINTER;
    const InterfaceDesc* implemented = Implemented(index);
    if (!implemented) return TYPE_E_ELEMENTNOTFOUND;
    if (implemented == coclass_->defaultInterface)
      *flags = IMPLTYPEFLAG_FDEFAULT;
    else if (implemented == coclass_->sourceInterface)
      *flags = IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE;
    else
      *flags = 0;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE GetRefTypeInfo(HREFTYPE ref, ITypeInfo** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    const auto interfaces = Library().interfaces;
    if (ref >= interfaces.size()) return TYPE_E_ELEMENTNOTFOUND;
    auto* info = new (std::nothrow) DescribedTypeInfo(&interfaces[ref], nullptr);
    if (!info) return E_OUTOFMEMORY;
    info->AddRef();
    *out = info;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE GetTypeComp(ITypeComp**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetVarDesc(UINT, VARDESC**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetDllEntry(MEMBERID, INVOKEKIND, BSTR*, BSTR*, WORD*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE AddressOfMember(MEMBERID, INVOKEKIND, PVOID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID, PVOID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetMops(MEMBERID, BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetContainingTypeLib(ITypeLib**, UINT*) override { return E_NOTIMPL; }
  void STDMETHODCALLTYPE ReleaseVarDesc(VARDESC*) override {}

 private:
  ~DescribedTypeInfo() override = default;

  // A coclass's interfaces in order: default, the further one, the source.
  const InterfaceDesc* Implemented(UINT index) const {
    if (!coclass_) return nullptr;
    const InterfaceDesc* list[] = {coclass_->defaultInterface, coclass_->otherInterface,
                                   coclass_->sourceInterface};
    for (const InterfaceDesc* d : list) {
      if (!d) continue;
      if (index == 0) return d;
      --index;
    }
    return nullptr;
  }
  UINT ImplementedCount() const {
    UINT n = 0;
    while (Implemented(n)) ++n;
    return n;
  }

  const InterfaceDesc* iface_;
  const CoclassDesc* coclass_;
};

}  // namespace

HRESULT GetTypeInfo(const IID& iid, ITypeInfo** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  const InterfaceDesc* iface = FindInterface(iid);
  const CoclassDesc* coclass = iface ? nullptr : FindCoclass(iid);
  if (!iface && !coclass) return TYPE_E_ELEMENTNOTFOUND;
  auto* info = new (std::nothrow) DescribedTypeInfo(iface, coclass);
  if (!info) return E_OUTOFMEMORY;
  info->AddRef();
  *out = info;
  return S_OK;
}

}  // namespace qx::typelib

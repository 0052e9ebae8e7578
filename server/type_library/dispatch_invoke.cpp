// IDispatch::Invoke over the description: finds the member by dispid and
// call kind, turns the dispatch arguments into the member's C++ arguments,
// calls the member through its vtable slot and turns the outcome into the
// dispatch result, EXCEPINFO and argument-error index.
#include <array>
#include <cstring>

#include "platform/com/variant_type_check.h"
#include "qxnet/com_ptr.h"
#include "server/type_library/dispatch_call.h"
#include "server/type_library/type_library.h"

namespace qx::typelib {
namespace {

// A shallow, unowned view of the value a variant stands for: by-reference
// variants are read through their pointer (one level of VT_VARIANT too).
bool ValueView(const VARIANT& in, VARIANT& view) {
  if (!(in.vt & VT_BYREF)) {
    view = in;
    return true;
  }
  const VARTYPE base = static_cast<VARTYPE>(in.vt & ~VT_BYREF);
  if (!in.byref) return false;
  if (base == VT_VARIANT) {
    const VARIANT& inner = *in.pvarVal;
    if (inner.vt == (VT_BYREF | VT_VARIANT)) return false;
    return ValueView(inner, view);
  }
  view = VARIANT{};
  if (base & VT_ARRAY) {
    view.vt = base;
    view.parray = *in.pparray;
    return true;
  }
  if (base == VT_DECIMAL) {
    view.decVal = *in.pdecVal;
    view.vt = VT_DECIMAL;
    return true;
  }
  const std::size_t size = qx::ScalarValueSize(base);
  if (size == 0) return false;
  view.vt = base;
  std::memcpy(&view.llVal, in.byref, size);
  return true;
}

// The arguments of one call while it is prepared and made; whatever the
// slots hold is released when the call is over, on every path.
class PreparedCall {
 public:
  PreparedCall() {
    // Zeroed, so that a retval the member leaves unwritten reads as null.
    for (ArgSlot& s : slots_) {
      s.value = VARIANT{};
      s.ptr = nullptr;
    }
  }
  ~PreparedCall() {
    for (std::size_t i = 0; i < kMaxParams; ++i) {
      if (ownsInterface_[i] && slots_[i].ptr) static_cast<IUnknown*>(slots_[i].ptr)->Release();
      VariantClear(&slots_[i].value);
    }
  }
  PreparedCall(const PreparedCall&) = delete;
  PreparedCall& operator=(const PreparedCall&) = delete;

  ArgSlot* Slots() { return slots_.data(); }

  // Fills slot `i` for parameter `p` from the dispatch argument `arg`
  // (null for the retval). False when the argument cannot be converted.
  bool Prepare(std::size_t i, const ParamDesc& p, VARIANT* arg) {
    ArgSlot& s = slots_[i];
    switch (p.dir) {
      case Dir::OutRetval:
        // The member writes into the slot's own variant; its type is set
        // once the call is made so that the variant then owns the result.
        s.ptr = (p.vt == VT_VARIANT) ? static_cast<void*>(&s.value) : &s.value.llVal;
        retvalTypes_[i] = p.vt;
        return true;
      case Dir::In:
        return p.iid ? PrepareInterface(i, p, *arg) : Coerce(s.value, *arg, p.vt);
      case Dir::Out:
      case Dir::InOut:
        return PrepareByRef(i, p, *arg);
    }
    return false;
  }

  // After the call: give retval slots their type, copy values back into
  // by-reference variants that held another type.
  void Complete(bool succeeded) {
    for (std::size_t i = 0; i < kMaxParams; ++i) {
      if (retvalTypes_[i] != VT_EMPTY && retvalTypes_[i] != VT_VARIANT)
        slots_[i].value.vt = retvalTypes_[i];
      if (VARIANT* target = writeBack_[i]) {
        if (!succeeded) continue;
        VariantClear(target);
        *target = slots_[i].value;
        slots_[i].value = VARIANT{};
      }
    }
  }

  // Moves the retval of slot `i` out to the caller's result variant.
  void TakeResult(std::size_t i, VARIANT* result) {
    *result = slots_[i].value;
    slots_[i].value = VARIANT{};
  }

 private:
  static bool Coerce(VARIANT& dest, const VARIANT& arg, VARTYPE vt) {
    VARIANT view;
    if (!ValueView(arg, view)) return false;
    return SUCCEEDED(VariantChangeType(&dest, &view, 0, vt));
  }

  bool PrepareInterface(std::size_t i, const ParamDesc& p, const VARIANT& arg) {
    VARIANT view;
    if (!ValueView(arg, view)) return false;
    if (view.vt == VT_EMPTY || view.vt == VT_NULL) return true;  // a null interface
    if (view.vt != VT_DISPATCH && view.vt != VT_UNKNOWN) return false;
    if (!view.punkVal) return true;
    if (FAILED(view.punkVal->QueryInterface(*p.iid, &slots_[i].ptr))) {
      slots_[i].ptr = nullptr;
      return false;
    }
    ownsInterface_[i] = true;
    return true;
  }

  bool PrepareByRef(std::size_t i, const ParamDesc& p, VARIANT& arg) {
    ArgSlot& s = slots_[i];
    if (arg.vt == (VT_BYREF | p.vt)) {
      // The caller's own variable: the member updates it in place.
      if (!arg.byref) return false;
      s.ptr = arg.byref;
      return true;
    }
    if (arg.vt == (VT_BYREF | VT_VARIANT)) {
      VARIANT* inner = arg.pvarVal;
      if (!inner) return false;
      if (inner->vt == p.vt) {
        s.ptr = &inner->llVal;  // same type: updated in place as well
        return true;
      }
      if (inner->vt & VT_BYREF) return false;
      // Another type: converted in, and the new value replaces the
      // caller's variant after a successful call.
      if (!FillOwned(s, p, *inner)) return false;
      writeBack_[i] = inner;
      return true;
    }
    if (arg.vt & VT_BYREF) return false;  // a reference to a variable of another type
    // A plain value: copied in; the out-value has nowhere to go and is
    // released with the slot.
    return FillOwned(s, p, arg);
  }

  static bool FillOwned(ArgSlot& s, const ParamDesc& p, const VARIANT& from) {
    if (p.dir == Dir::InOut) {
      if (!Coerce(s.value, from, p.vt)) return false;
    } else {
      s.value = VARIANT{};
      s.value.vt = p.vt;  // a zero value of the type; the member fills it
    }
    s.ptr = &s.value.llVal;
    return true;
  }

  std::array<ArgSlot, kMaxParams> slots_;
  std::array<bool, kMaxParams> ownsInterface_{};
  std::array<VARTYPE, kMaxParams> retvalTypes_{};
  std::array<VARIANT*, kMaxParams> writeBack_{};
};

const MemberDesc* FindForCall(const InterfaceDesc& iface, DISPID id, WORD flags) {
  const bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
  for (const MemberDesc& m : iface.members) {
    if (m.dispid != id) continue;
    if (put) {
      // Script hosts assign object references with PROPERTYPUTREF; the
      // library's setters of interface properties are plain setters.
      if (m.kind == Kind::PropPut) return &m;
    } else if (((flags & DISPATCH_METHOD) && m.kind == Kind::Method) ||
               ((flags & DISPATCH_PROPERTYGET) && m.kind == Kind::PropGet)) {
      return &m;
    }
  }
  return nullptr;
}

void FillException(EXCEPINFO* e, HRESULT hr, IErrorInfo* info) {
  *e = EXCEPINFO{};
  e->wCode = 0;
  e->scode = hr;
  if (!info) return;
  info->GetSource(&e->bstrSource);
  info->GetDescription(&e->bstrDescription);
  info->GetHelpFile(&e->bstrHelpFile);
  info->GetHelpContext(&e->dwHelpContext);
}

}  // namespace

HRESULT InvokeDescribed(const InterfaceDesc& iface, void* target, DISPID id, WORD flags,
                        DISPPARAMS* params, VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr) {
  if (result) VariantInit(result);
  if (!target) return E_POINTER;

  const MemberDesc* m = FindForCall(iface, id, flags);
  if (!m || !m->invoke) return DISP_E_MEMBERNOTFOUND;

  const UINT argCount = params ? params->cArgs : 0;
  const UINT namedCount = params ? params->cNamedArgs : 0;
  if (m->kind == Kind::PropPut) {
    if (namedCount == 0) return DISP_E_PARAMNOTFOUND;
    if (namedCount != 1 || !params->rgdispidNamedArgs ||
        params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)
      return DISP_E_NONAMEDARGS;
  } else if (namedCount != 0) {
    return DISP_E_NONAMEDARGS;
  }
  if (argCount != m->ArgumentCount()) return DISP_E_BADPARAMCOUNT;
  if (argCount > 0 && !params->rgvarg) return E_INVALIDARG;

  PreparedCall call;
  const auto described = m->Params();
  std::size_t retvalSlot = kMaxParams;
  for (std::size_t i = 0; i < described.size(); ++i) {
    const ParamDesc& p = described[i];
    VARIANT* arg = nullptr;
    UINT position = 0;
    if (p.dir == Dir::OutRetval) {
      retvalSlot = i;
    } else {
      // Dispatch arguments arrive last parameter first.
      position = argCount - 1 - static_cast<UINT>(i);
      arg = &params->rgvarg[position];
    }
    if (!call.Prepare(i, p, arg)) {
      if (argErr) *argErr = position;
      return DISP_E_TYPEMISMATCH;
    }
  }

  // The thread's error record is set aside during the call, so that a
  // failure is described only by a record the member itself posted and a
  // success leaves an earlier record where it was.
  ComPtr<IErrorInfo> earlier;
  GetErrorInfo(0, earlier.Put());

  const HRESULT hr = m->invoke(target, call.Slots());
  call.Complete(SUCCEEDED(hr));

  ComPtr<IErrorInfo> raised;
  GetErrorInfo(0, raised.Put());
  SetErrorInfo(0, raised ? raised.Get() : earlier.Get());

  if (FAILED(hr)) {
    if (!excepInfo) return hr;
    FillException(excepInfo, hr, raised.Get());
    return DISP_E_EXCEPTION;
  }
  if (result && retvalSlot < kMaxParams) call.TakeResult(retvalSlot, result);
  return hr;
}

HRESULT Invoke(const IID& iid, IDispatch* self, DISPID id, WORD flags, DISPPARAMS* params,
               VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr) {
  if (result) VariantInit(result);
  const InterfaceDesc* iface = FindInterface(iid);
  if (!iface) return DISP_E_UNKNOWNINTERFACE;
  if (!self) return E_POINTER;
  switch (iface->kind) {
    case InterfaceKind::Dual:
      // A dual interface derives from IDispatch alone: `self` is the
      // interface pointer itself.
      return InvokeDescribed(*iface, self, id, flags, params, result, excepInfo, argErr);
    case InterfaceKind::Custom: {
      ComPtr<IUnknown> target;
      HRESULT hr = self->QueryInterface(iid, target.PutVoid());
      if (FAILED(hr)) return hr;
      return InvokeDescribed(*iface, target.Get(), id, flags, params, result, excepInfo, argErr);
    }
    case InterfaceKind::Dispatch:
      break;
  }
  return DISP_E_MEMBERNOTFOUND;
}

}  // namespace qx::typelib

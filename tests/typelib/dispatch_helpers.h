// Building dispatch calls in tests: arguments are given in parameter order
// and passed the way dispatch callers pass them (last one first).
#pragma once

#include <cstring>
#include <initializer_list>
#include <vector>

#include "qxnet/platform.h"

namespace typelib_test {

constexpr WORD kGet = DISPATCH_METHOD | DISPATCH_PROPERTYGET;

// The arguments stay owned by the caller; only shallow copies are passed.
inline HRESULT Call(IDispatch* target, DISPID id, WORD flags,
                    std::initializer_list<const VARIANT*> args, VARIANT* result,
                    EXCEPINFO* excepInfo = nullptr, UINT* argErr = nullptr) {
  std::vector<VARIANT> reversed;
  for (auto it = args.end(); it != args.begin();) reversed.push_back(**--it);
  DISPID putId = DISPID_PROPERTYPUT;
  const bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
  DISPPARAMS params{reversed.data(), put ? &putId : nullptr, static_cast<UINT>(reversed.size()),
                    put ? 1u : 0u};
  return target->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, excepInfo,
                        argErr);
}

// A variant of type `vt` holding the pointer or the value bits of `value`.
template <class T>
VARIANT Holding(VARTYPE vt, T value) {
  static_assert(sizeof(T) <= sizeof(LONGLONG));
  VARIANT v{};
  v.vt = vt;
  std::memcpy(&v.llVal, &value, sizeof value);
  return v;
}
inline VARIANT RefTo(BSTR* s) { return Holding(VT_BYREF | VT_BSTR, s); }
inline VARIANT RefTo(VARIANT_BOOL* b) { return Holding(VT_BYREF | VT_BOOL, b); }
inline VARIANT RefTo(VARIANT* inner) { return Holding(VT_BYREF | VT_VARIANT, inner); }
inline VARIANT RefTo(LONG* n) { return Holding(VT_BYREF | VT_I4, n); }
inline VARIANT Double(double d) { return Holding(VT_R8, d); }
inline VARIANT Object(IUnknown* p, VARTYPE vt = VT_DISPATCH) { return Holding(vt, p); }

}  // namespace typelib_test

// Building dispatch calls in tests: arguments are given in parameter order
// and passed the way dispatch callers pass them (last one first).
#pragma once

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

inline VARIANT RefTo(BSTR* s) {
  VARIANT v{};
  v.vt = VT_BYREF | VT_BSTR;
  v.pbstrVal = s;
  return v;
}
inline VARIANT RefTo(VARIANT_BOOL* b) {
  VARIANT v{};
  v.vt = VT_BYREF | VT_BOOL;
  v.pboolVal = b;
  return v;
}
inline VARIANT RefTo(VARIANT* inner) {
  VARIANT v{};
  v.vt = VT_BYREF | VT_VARIANT;
  v.pvarVal = inner;
  return v;
}
inline VARIANT Double(double d) {
  VARIANT v{};
  v.vt = VT_R8;
  v.dblVal = d;
  return v;
}
inline VARIANT Object(IUnknown* p, VARTYPE vt = VT_DISPATCH) {
  VARIANT v{};
  v.vt = vt;
  v.punkVal = p;
  return v;
}

}  // namespace typelib_test

// Variant: owns one VARIANT and clears it (VariantClear) when done; it is a
// VARIANT, so it can be passed wherever one is expected.
// Installed for clients; the library's own code uses the same header.
#pragma once

#include <utility>

#include "qxnet/platform.h"

namespace qx {

class Variant : public VARIANT {
 public:
  Variant() { VariantInit(this); }
  Variant(const Variant& other) : Variant() { VariantCopy(this, &other); }
  Variant& operator=(const Variant& other) {
    if (this != &other) VariantCopy(this, &other);
    return *this;
  }
  ~Variant() { VariantClear(this); }

  void Clear() { VariantClear(this); }
  VARIANT* Put() {
    VariantClear(this);
    return this;
  }
  // Moves the content out to a caller-owned VARIANT (which must be clear).
  void DetachTo(VARIANT* out) {
    *out = *static_cast<VARIANT*>(this);
    VariantInit(this);
  }

  static Variant Long(LONG v) {
    Variant r;
    r.vt = VT_I4;
    r.lVal = v;
    return r;
  }
  static Variant Bool(bool v) {
    Variant r;
    r.vt = VT_BOOL;
    r.boolVal = v ? VARIANT_TRUE : VARIANT_FALSE;
    return r;
  }
  // Takes ownership of s.
  static Variant OwnBstr(BSTR s) {
    Variant r;
    r.vt = VT_BSTR;
    r.bstrVal = s;
    return r;
  }
  static Variant String(const char16_t* s) { return OwnBstr(SysAllocString(s)); }
};

static_assert(sizeof(Variant) == sizeof(VARIANT), "Variant adds no state");

}  // namespace qx

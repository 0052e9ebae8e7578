// ComPtr<T>: owns one counted reference to an interface, released when the
// ComPtr goes; Put()/PutVoid() for out-parameters, As<U>() to query.
// Installed for clients; the library's own code uses the same header.
#pragma once

#include <utility>

#include "qxnet/qxnetlib.h"

namespace qx {

template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(std::nullptr_t) {}
  // Takes a new reference to p.
  explicit ComPtr(T* p) : p_(p) {
    if (p_) p_->AddRef();
  }
  ComPtr(const ComPtr& other) : ComPtr(other.p_) {}
  ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  ~ComPtr() { Reset(); }

  ComPtr& operator=(const ComPtr& other) {
    if (this != &other) {
      if (other.p_) other.p_->AddRef();
      Reset();
      p_ = other.p_;
    }
    return *this;
  }
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) {
      Reset();
      p_ = std::exchange(other.p_, nullptr);
    }
    return *this;
  }
  ComPtr& operator=(std::nullptr_t) {
    Reset();
    return *this;
  }

  // Adopts a reference the caller already owns (no AddRef).
  static ComPtr Attach(T* p) {
    ComPtr result;
    result.p_ = p;
    return result;
  }
  // Gives the reference up to the caller (no Release).
  T* Detach() { return std::exchange(p_, nullptr); }

  void Reset() {
    if (T* p = std::exchange(p_, nullptr)) p->Release();
  }

  T* Get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

  // Address for an out-parameter; releases what was held first.
  T** Put() {
    Reset();
    return &p_;
  }
  void** PutVoid() { return reinterpret_cast<void**>(Put()); }

  // Hands out a new reference through an out-parameter.
  void CopyTo(T** out) const {
    if (p_) p_->AddRef();
    *out = p_;
  }

  template <class U>
  HRESULT As(ComPtr<U>& out) const {
    if (!p_) return E_POINTER;
    return p_->QueryInterface(qx_iid_of<U>::value, out.PutVoid());
  }
  template <class U>
  ComPtr<U> As() const {
    ComPtr<U> out;
    As(out);
    return out;
  }

 private:
  T* p_ = nullptr;
};

// Queries any interface pointer for U; empty on failure.
template <class U, class T>
ComPtr<U> QueryAs(T* p) {
  ComPtr<U> out;
  if (p) p->QueryInterface(qx_iid_of<U>::value, out.PutVoid());
  return out;
}

}  // namespace qx

// CountedObject<Interface>: IUnknown for a small object that implements one
// interface and is not a class of its own: it answers for IUnknown and
// Interface, counts atomically and frees itself at zero. It starts with no
// reference; whoever creates it takes the first one.
//
// It holds no module lock: objects the module keeps for its whole life (the
// class factories) use it directly; objects handed to clients use
// HelperObject, which adds the lock.
#pragma once

#include <atomic>

#include "qxnet/qxnetlib.h"

namespace qx {

template <class Interface>
class CountedObject : public Interface {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (riid == IID_IUnknown || riid == qx_iid_of<Interface>::value) {
      *object = static_cast<Interface*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override {
    return refs_.fetch_add(1, std::memory_order_relaxed) + 1;
  }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) delete this;
    return left;
  }

  CountedObject(const CountedObject&) = delete;
  CountedObject& operator=(const CountedObject&) = delete;

 protected:
  CountedObject() = default;
  virtual ~CountedObject() = default;

 private:
  std::atomic<ULONG> refs_{0};
};

}  // namespace qx

// HelperObject<Interface>: IUnknown for the library's small helper objects
// that are not classes of their own (enumerators): it answers for IUnknown
// and Interface, counts atomically, frees itself at zero and holds the module
// lock while it lives.
#pragma once

#include <atomic>

#include "qxnet/qxnetlib.h"
#include "server/object_frame/module_lock.h"

namespace qx {

template <class Interface>
class HelperObject : public Interface {
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
  ULONG STDMETHODCALLTYPE AddRef() override { return refs_.fetch_add(1) + 1; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG left = refs_.fetch_sub(1) - 1;
    if (left == 0) delete this;
    return left;
  }

  HelperObject(const HelperObject&) = delete;
  HelperObject& operator=(const HelperObject&) = delete;

 protected:
  HelperObject() { LockModule(); }
  virtual ~HelperObject() { UnlockModule(); }

 private:
  std::atomic<ULONG> refs_{0};
};

}  // namespace qx

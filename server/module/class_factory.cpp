#include "server/module/class_factory.h"

#include <atomic>
#include <new>

#include "server/object_frame/module_lock.h"

namespace qx {

namespace {

// Factories are cached by the module for its whole life, so they do not
// hold the module lock themselves; LockServer does.
class ClassFactory final : public IClassFactory {
 public:
  explicit ClassFactory(const ClassEntry& entry) : entry_(entry) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IClassFactory) {
      *object = static_cast<IClassFactory*>(this);
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

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid,
                                           void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer && riid != IID_IUnknown) return CLASS_E_NOAGGREGATION;
    CreateFunction create = FindCreateFunction(entry_.clsid);
    if (!create) return CLASS_E_CLASSNOTAVAILABLE;
    return create(outer, riid, object);
  }

  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    if (lock)
      LockModule();
    else
      UnlockModule();
    return S_OK;
  }

 private:
  const ClassEntry& entry_;
  std::atomic<ULONG> refs_{1};
};

}  // namespace

IClassFactory* NewClassFactory(const ClassEntry& entry) {
  return new (std::nothrow) ClassFactory(entry);
}

}  // namespace qx

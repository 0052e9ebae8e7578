#include "server/module/class_factory.h"

#include <new>

#include "server/object_frame/counted_object.h"
#include "server/object_frame/module_lock.h"

namespace qx {

namespace {

// Factories are cached by the module for its whole life, so they do not
// hold the module lock themselves; LockServer does.
class ClassFactory final : public CountedObject<IClassFactory> {
 public:
  explicit ClassFactory(const ClassEntry& entry) : entry_(entry) {}

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
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
};

}  // namespace

IClassFactory* NewClassFactory(const ClassEntry& entry) {
  auto* factory = new (std::nothrow) ClassFactory(entry);
  if (factory) factory->AddRef();
  return factory;
}

}  // namespace qx

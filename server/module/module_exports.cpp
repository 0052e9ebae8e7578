// Module entry points: class objects from the object map (created once and
// cached), the unload answer, and registration of every class and of the
// type library.
#include "server/module/module_exports.h"

#include <dlfcn.h>

#include <array>
#include <mutex>

#include "qxnet/text.h"
#include "server/module/class_factory.h"
#include "server/module/object_map.h"
#include "server/module/registration_script.h"
#include "server/object_frame/module_lock.h"
#include "server/type_library/type_library.h"

namespace qx {

namespace {

// The cached class factories, one per object-map entry, created on first
// use under the module's lock and released when the module is unloaded.
class FactoryCache {
 public:
  ~FactoryCache() {
    for (IClassFactory*& factory : factories_)
      if (factory) factory->Release();
  }

  IClassFactory* Get(size_t index, const ClassEntry& entry) {
    std::lock_guard lock(mutex_);
    if (index >= factories_.size()) return nullptr;
    if (!factories_[index]) factories_[index] = NewClassFactory(entry);
    return factories_[index];
  }

 private:
  std::mutex mutex_;
  std::array<IClassFactory*, typelib::kCoclassCount> factories_{};
};

FactoryCache g_factories;

// Runs one class's registration script through the runtime's registrar.
HRESULT UpdateClassRegistration(const ClassEntry& entry, const std::u16string& module,
                                bool doRegister) {
  const std::u16string script = RegistrationScript(entry);
  const QX_REGISTRAR_REPLACEMENT replacements[] = {{u"MODULE", module.c_str()}};
  return QxUpdateRegistryFromScript(script.c_str(), doRegister ? TRUE : FALSE, replacements, 1);
}

// The full path of this module, as registered under InprocServer32.
std::u16string ModulePath() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&ModulePath), &info) == 0 || !info.dli_fname) return {};
  return Utf8ToUtf16(info.dli_fname);
}

// Runs `steps` as one registry transaction, so that a failure or a kill
// part-way leaves the registration as it was before: committed only when
// every step succeeds.
template <class Steps>
HRESULT InOneRegistryTransaction(Steps steps) {
  LSTATUS status = QxRegBeginTransaction();
  if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
  const HRESULT hr = steps();
  if (FAILED(hr)) {
    QxRegRollbackTransaction();
    return hr;
  }
  status = QxRegCommitTransaction();
  return status == ERROR_SUCCESS ? hr : HRESULT_FROM_WIN32(status);
}

}  // namespace

}  // namespace qx

extern "C" HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  auto entries = qx::ClassEntries();
  for (size_t i = 0; i < entries.size(); ++i) {
    if (entries[i].clsid != rclsid) continue;
    IClassFactory* factory = qx::g_factories.Get(i, entries[i]);
    if (!factory) return E_OUTOFMEMORY;
    return factory->QueryInterface(riid, ppv);
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

extern "C" HRESULT DllCanUnloadNow(void) { return qx::ModuleLockCount() == 0 ? S_OK : S_FALSE; }

extern "C" HRESULT DllRegisterServer(void) {
  const std::u16string module = qx::ModulePath();
  if (module.empty()) return E_UNEXPECTED;
  return qx::InOneRegistryTransaction([&module]() -> HRESULT {
    for (const qx::ClassEntry& entry : qx::ClassEntries()) {
      const HRESULT hr = qx::UpdateClassRegistration(entry, module, true);
      if (FAILED(hr)) return hr;
    }
    return qx::typelib::RegisterTypeLibrary(module);
  });
}

extern "C" HRESULT DllUnregisterServer(void) {
  const std::u16string module = qx::ModulePath();
  return qx::InOneRegistryTransaction([&module]() -> HRESULT {
    for (const qx::ClassEntry& entry : qx::ClassEntries()) {
      const HRESULT hr = qx::UpdateClassRegistration(entry, module, false);
      if (FAILED(hr)) return hr;
    }
    return qx::typelib::UnregisterTypeLibrary();
  });
}

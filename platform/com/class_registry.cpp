// Class lookup and creation through the registry: ProgID <-> CLSID, and
// loading in-process server modules named by HKCR\CLSID\{clsid}\InprocServer32.
// Each module is loaded once per process and kept until
// CoFreeUnusedLibraries finds that it agrees to be unloaded. The class
// identifier of a ProgID and the module path of a class are remembered
// while the registry stays unchanged; no class factory is held, so
// unloading works as without the cache.
#include <dlfcn.h>

#include <cstring>
#include <map>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "platform/com/class_cache.h"
#include "platform/registry/key_path.h"
#include "platform/registry/registry_store.h"
#include "qxnet/platform.h"
#include "qxnet/text.h"

namespace {

// How many CurVer links a ProgID lookup follows before giving up.
constexpr int kMaxCurVerHops = 8;

struct LoadedModule {
  void* handle = nullptr;
  LPFNGETCLASSOBJECT getClassObject = nullptr;
  LPFNCANUNLOADNOW canUnloadNow = nullptr;
  // Calls into DllGetClassObject in progress; the module is not unloaded
  // while any is running.
  int callsInProgress = 0;
};

std::mutex& ModuleMutex() {
  static std::mutex* mutex = new std::mutex;
  return *mutex;
}
// Module path -> loaded module. Never destroyed: modules stay loaded until
// the process ends, as a library may still be in use by static objects.
std::map<std::string, LoadedModule>& LoadedModules() {
  static auto* modules = new std::map<std::string, LoadedModule>;
  return *modules;
}

// Folded ProgID -> class identifier.
qx::com::RegistryLookupCache<std::u16string, CLSID>& ProgIdCache() {
  static auto* cache = new qx::com::RegistryLookupCache<std::u16string, CLSID>;
  return *cache;
}
// Class identifier -> module path (UTF-8).
qx::com::RegistryLookupCache<CLSID, std::string, qx::com::GuidHash>& ModulePathCache() {
  static auto* cache = new qx::com::RegistryLookupCache<CLSID, std::string, qx::com::GuidHash>;
  return *cache;
}

std::u16string GuidText(REFGUID guid) {
  OLECHAR buffer[40];
  if (StringFromGUID2(guid, buffer, 40) == 0) return {};
  return buffer;
}

std::u16string ClassKeyPath(REFCLSID clsid) { return u"CLSID\\" + GuidText(clsid); }

// A ProgID names one key directly below HKCR.
bool ValidProgId(std::u16string_view progId) {
  return !progId.empty() && progId.size() <= 255 && progId.find(u'\\') == std::u16string_view::npos;
}

HRESULT ClsidOfProgId(const std::u16string& progId, CLSID& out) {
  std::u16string text;
  if (qx::registry::ReadString(HKEY_CLASSES_ROOT, progId + u"\\CLSID", u"", text) != ERROR_SUCCESS)
    return CO_E_CLASSSTRING;
  CLSID parsed;
  if (text.empty() || FAILED(IIDFromString(text.c_str(), &parsed))) return CO_E_CLASSSTRING;
  out = parsed;
  return S_OK;
}

// The class a ProgID names: the newest version along its CurVer chain that
// names a class, else the ProgID's own CLSID.
HRESULT ResolveProgId(const std::u16string& progId, CLSID& out) {
  if (!qx::registry::KeyExists(HKEY_CLASSES_ROOT, progId)) return CO_E_CLASSSTRING;
  // The chain of current versions, starting with the ProgID itself.
  std::vector<std::u16string> chain{progId};
  for (int hop = 0; hop < kMaxCurVerHops; ++hop) {
    std::u16string next;
    if (qx::registry::ReadString(HKEY_CLASSES_ROOT, chain.back() + u"\\CurVer", u"", next) !=
            ERROR_SUCCESS ||
        !ValidProgId(next))
      break;
    bool seen = false;
    for (const auto& earlier : chain)
      seen = seen || qx::registry::FoldCase(earlier) == qx::registry::FoldCase(next);
    if (seen) break;
    chain.push_back(std::move(next));
  }
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    if (SUCCEEDED(ClsidOfProgId(*it, out))) return S_OK;
  }
  return CO_E_CLASSSTRING;
}

// The module registered for a class, as CoGetClassObject answers a failure.
HRESULT FindModulePath(REFCLSID clsid, std::string& path) {
  std::u16string modulePath;
  const LSTATUS status = qx::registry::ReadString(
      HKEY_CLASSES_ROOT, ClassKeyPath(clsid) + u"\\InprocServer32", u"", modulePath);
  if (status == ERROR_FILE_NOT_FOUND || status == ERROR_UNSUPPORTED_TYPE || modulePath.empty())
    return REGDB_E_CLASSNOTREG;
  if (status != ERROR_SUCCESS) return REGDB_E_READREGDB;
  path = qx::Utf16ToUtf8(modulePath);
  return S_OK;
}

// Finds (or loads) the module at `path` and marks a call into it as in progress.
HRESULT AcquireModule(const std::string& path, LPFNGETCLASSOBJECT& getClassObject) {
  std::lock_guard<std::mutex> lock(ModuleMutex());
  auto& modules = LoadedModules();
  auto found = modules.find(path);
  if (found == modules.end()) {
    // Functions are bound on first call: a process creating one object
    // uses a small part of a module. Registration loads modules with every
    // symbol bound, so a module that cannot be bound fails there.
    void* handle = dlopen(path.c_str(), RTLD_LAZY | RTLD_LOCAL);
    if (handle == nullptr) return CO_E_DLLNOTFOUND;
    LoadedModule module;
    module.handle = handle;
    module.getClassObject =
        reinterpret_cast<LPFNGETCLASSOBJECT>(dlsym(handle, "DllGetClassObject"));
    module.canUnloadNow = reinterpret_cast<LPFNCANUNLOADNOW>(dlsym(handle, "DllCanUnloadNow"));
    if (module.getClassObject == nullptr) {
      dlclose(handle);
      return CO_E_ERRORINDLL;
    }
    try {
      found = modules.emplace(path, module).first;
    } catch (const std::bad_alloc&) {
      dlclose(handle);
      return E_OUTOFMEMORY;
    }
  }
  ++found->second.callsInProgress;
  getClassObject = found->second.getClassObject;
  return S_OK;
}

void ReleaseModule(const std::string& path) {
  std::lock_guard<std::mutex> lock(ModuleMutex());
  auto found = LoadedModules().find(path);
  if (found != LoadedModules().end()) --found->second.callsInProgress;
}

}  // namespace

extern "C" {

HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, CLSID* lpclsid) {
  if (lpszProgID == nullptr || lpclsid == nullptr) return E_INVALIDARG;
  *lpclsid = GUID_NULL;
  try {
    const std::u16string progId(lpszProgID);
    if (!ValidProgId(progId)) return CO_E_CLASSSTRING;
    return ProgIdCache().Find(qx::registry::FoldCase(progId), *lpclsid,
                              [&](CLSID& found) { return ResolveProgId(progId, found); });
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* lplpszProgID) {
  if (lplpszProgID == nullptr) return E_INVALIDARG;
  *lplpszProgID = nullptr;
  try {
    std::u16string progId;
    const LSTATUS status =
        qx::registry::ReadString(HKEY_CLASSES_ROOT, ClassKeyPath(clsid) + u"\\ProgID", u"", progId);
    if (status == ERROR_FILE_NOT_FOUND || status == ERROR_UNSUPPORTED_TYPE || progId.empty())
      return REGDB_E_CLASSNOTREG;
    if (status != ERROR_SUCCESS) return REGDB_E_READREGDB;
    auto* copy = static_cast<LPOLESTR>(CoTaskMemAlloc((progId.size() + 1) * sizeof(OLECHAR)));
    if (copy == nullptr) return E_OUTOFMEMORY;
    std::memcpy(copy, progId.c_str(), (progId.size() + 1) * sizeof(OLECHAR));
    *lplpszProgID = copy;
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, LPVOID, REFIID riid, LPVOID* ppv) {
  if (ppv == nullptr) return E_INVALIDARG;
  *ppv = nullptr;
  // Only in-process servers exist here.
  if ((dwClsContext & CLSCTX_INPROC_SERVER) == 0) return REGDB_E_CLASSNOTREG;
  std::string path;
  try {
    const HRESULT found = ModulePathCache().Find(
        rclsid, path, [&](std::string& out) { return FindModulePath(rclsid, out); });
    if (FAILED(found)) return found;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  LPFNGETCLASSOBJECT getClassObject = nullptr;
  HRESULT hr = AcquireModule(path, getClassObject);
  if (FAILED(hr)) return hr;
  // Called without the module lock held: the module may itself create
  // objects through the registry.
  try {
    hr = getClassObject(rclsid, riid, ppv);
  } catch (...) {
    hr = E_UNEXPECTED;
  }
  ReleaseModule(path);
  if (FAILED(hr)) *ppv = nullptr;
  return hr;
}

HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext, REFIID riid,
                         LPVOID* ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  IClassFactory* factory = nullptr;
  HRESULT hr = CoGetClassObject(rclsid, dwClsContext, nullptr, IID_IClassFactory,
                                reinterpret_cast<void**>(&factory));
  if (FAILED(hr)) return hr;
  if (factory == nullptr) return E_UNEXPECTED;
  try {
    hr = factory->CreateInstance(pUnkOuter, riid, ppv);
  } catch (...) {
    hr = E_UNEXPECTED;
  }
  factory->Release();
  if (FAILED(hr)) *ppv = nullptr;
  return hr;
}

void CoFreeUnusedLibraries(void) {
  std::vector<void*> unloaded;
  {
    std::lock_guard<std::mutex> lock(ModuleMutex());
    auto& modules = LoadedModules();
    for (auto it = modules.begin(); it != modules.end();) {
      LoadedModule& module = it->second;
      bool unload = false;
      if (module.callsInProgress == 0 && module.canUnloadNow != nullptr) {
        try {
          unload = module.canUnloadNow() == S_OK;
        } catch (...) {
          unload = false;
        }
      }
      if (unload) {
        try {
          unloaded.push_back(module.handle);
        } catch (const std::bad_alloc&) {
          ++it;
          continue;
        }
        it = modules.erase(it);
      } else {
        ++it;
      }
    }
  }
  // Outside the lock: a module's teardown may itself use the class registry.
  for (void* handle : unloaded) dlclose(handle);
}

}  // extern "C"

#include "loaded_modules.h"

#include <dlfcn.h>

#include <set>
#include <string>
#include <vector>

#include "qxnet/registry_key.h"
#include "wide_text.h"

namespace qxpy {

namespace {

// Paths of the modules; used under the GIL only.
std::set<std::string>& Modules() {
  static auto* modules = new std::set<std::string>();
  return *modules;
}

std::u16string RegisteredModulePath(const CLSID& clsid) {
  OLECHAR guid[64] = {};
  if (StringFromGUID2(clsid, guid, 64) <= 0) return {};
  const std::u16string key = u"CLSID\\" + std::u16string(guid) + u"\\InprocServer32";
  qx::RegistryKey handle;
  if (!handle.OpenForReading(HKEY_CLASSES_ROOT, key.c_str())) return {};
  DWORD type = 0, size = 0;
  std::u16string path;
  if (RegQueryValueExW(handle.Get(), u"", nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
      (type == REG_SZ || type == REG_EXPAND_SZ) && size >= sizeof(char16_t)) {
    std::vector<char16_t> buffer(size / sizeof(char16_t) + 1, u'\0');
    if (RegQueryValueExW(handle.Get(), u"", nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                         &size) == ERROR_SUCCESS)
      path = std::u16string(buffer.data());  // up to the terminating zero
  }
  return path;
}

}  // namespace

void RememberModuleOf(const CLSID& clsid) {
  const std::u16string path = RegisteredModulePath(clsid);
  if (!path.empty()) Modules().insert(Utf8Text(path));
}

HRESULT CanUnloadModulesNow() {
  for (const std::string& path : Modules()) {
    void* module = dlopen(path.c_str(), RTLD_LAZY | RTLD_NOLOAD);
    if (!module) continue;  // not loaded: nothing of it is alive
    auto can_unload = reinterpret_cast<LPFNCANUNLOADNOW>(dlsym(module, "DllCanUnloadNow"));
    const HRESULT answer = can_unload ? can_unload() : S_OK;
    dlclose(module);
    if (answer != S_OK) return answer;
  }
  return S_OK;
}

}  // namespace qxpy

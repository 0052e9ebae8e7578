#include "tools/qxnet/module_registration.h"

#include <dlfcn.h>

#include <filesystem>

#include "qxnet/platform.h"
#include "qxnet/registry_key.h"
#include "tools/qxnet/com_call.h"
#include "tools/qxnet/module_location.h"

namespace qxcli {

namespace {

using EntryPoint = HRESULT (*)();

// While alive, HKEY_CLASSES_ROOT names the machine's Software\Classes, so a
// module's registration is written to (or removed from) the machine's
// registry database. Opening that key first checks that the database can be
// written at all, before the module is asked to register.
class MachineClassesRoot {
 public:
  explicit MachineClassesRoot(bool enabled) {
    if (!enabled) return;
    ClearErrorRecord();
    const LSTATUS status =
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Classes", 0, nullptr,
                        REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, classes_.Put(), nullptr);
    if (status != ERROR_SUCCESS) {
      std::string reason = TakeErrorDescription();
      if (reason.empty()) reason = SystemRegistryLocation() + " is not writable";
      throw CallFailed(HRESULT_FROM_WIN32(status), "Registration for all users refused: " + reason);
    }
    const LSTATUS overridden = RegOverridePredefKey(HKEY_CLASSES_ROOT, classes_.Get());
    if (overridden != ERROR_SUCCESS) {
      throw CallFailed(HRESULT_FROM_WIN32(overridden),
                       "Cannot direct the registration to " + SystemRegistryLocation());
    }
    overridden_ = true;
  }
  ~MachineClassesRoot() {
    if (overridden_) RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
  }
  MachineClassesRoot(const MachineClassesRoot&) = delete;
  MachineClassesRoot& operator=(const MachineClassesRoot&) = delete;

 private:
  qx::RegistryKey classes_;  // closed after the override is undone
  bool overridden_ = false;
};

void CallEntryPoint(const std::string& module_path, const char* name, RegistrationScope scope) {
  std::error_code error;
  if (!std::filesystem::exists(module_path, error)) throw UsageError("No module at " + module_path);
  // The registered path is the one the module was loaded from, so load it
  // by its absolute, canonical name.
  const std::string absolute = std::filesystem::canonical(module_path, error).string();
  // Kept loaded: the runtime may load the same module for objects later.
  void* module = dlopen(error ? module_path.c_str() : absolute.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!module) {
    const char* reason = dlerror();
    throw UsageError("Unable to load " + module_path + ": " + (reason ? reason : "unknown error"));
  }
  auto entry = reinterpret_cast<EntryPoint>(dlsym(module, name));
  if (!entry) throw UsageError(module_path + " does not export " + name);
  const MachineClassesRoot machine(scope == RegistrationScope::Machine);
  Call(name, entry);
}

}  // namespace

void RegisterModule(const std::string& module_path, RegistrationScope scope) {
  CallEntryPoint(module_path, "DllRegisterServer", scope);
}

void UnregisterModule(const std::string& module_path, RegistrationScope scope) {
  CallEntryPoint(module_path, "DllUnregisterServer", scope);
}

}  // namespace qxcli

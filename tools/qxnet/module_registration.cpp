#include "tools/qxnet/module_registration.h"

#include <dlfcn.h>

#include <filesystem>

#include "qxnet/platform.h"
#include "tools/qxnet/com_call.h"

namespace qxcli {

namespace {

using EntryPoint = HRESULT (*)();

void CallEntryPoint(const std::string& module_path, const char* name) {
  std::error_code error;
  if (!std::filesystem::exists(module_path, error))
    throw UsageError("No module at " + module_path);
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
  Call(name, entry);
}

}  // namespace

void RegisterModule(const std::string& module_path) {
  CallEntryPoint(module_path, "DllRegisterServer");
}

void UnregisterModule(const std::string& module_path) {
  CallEntryPoint(module_path, "DllUnregisterServer");
}

}  // namespace qxcli

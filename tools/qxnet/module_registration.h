// Registering and unregistering a server module: load it and call its
// DllRegisterServer or DllUnregisterServer.
#pragma once

#include <string>

namespace qxcli {

// Throws UsageError when the module cannot be loaded or lacks the entry
// point, CallFailed when the entry point fails.
void RegisterModule(const std::string& module_path);
void UnregisterModule(const std::string& module_path);

}  // namespace qxcli

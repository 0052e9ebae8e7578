// Registering and unregistering a server module: load it and call its
// DllRegisterServer or DllUnregisterServer, for the user (the user's
// registry database) or for every user of the machine (the machine's).
#pragma once

#include <string>

namespace qxcli {

enum class RegistrationScope { User, Machine };

// Throws UsageError when the module cannot be loaded or lacks the entry
// point, CallFailed when the entry point fails or, for the machine scope,
// when the machine's registry database cannot be written.
void RegisterModule(const std::string& module_path,
                    RegistrationScope scope = RegistrationScope::User);
void UnregisterModule(const std::string& module_path,
                      RegistrationScope scope = RegistrationScope::User);

}  // namespace qxcli

// qxnet register [--system] [MODULE] / qxnet unregister [--system] [MODULE]
#include <cstdio>

#include "tools/qxnet/commands.h"
#include "tools/qxnet/module_location.h"
#include "tools/qxnet/module_registration.h"

namespace qxcli {

namespace {

struct RegistrationOptions {
  std::string module;
  bool system = false;
};

void AddOne(CLI::App& app, const GlobalOptions& options, bool register_it) {
  auto* command =
      app.add_subcommand(register_it ? "register" : "unregister",
                         register_it ? "Register the library's classes in the registry store"
                                     : "Remove the library's classes from the registry store");
  auto chosen = std::make_shared<RegistrationOptions>();
  command->add_option("MODULE", chosen->module,
                      "The server module (default: ../lib/libqxnet.so beside this binary)");
  command->add_flag("--system", chosen->system,
                    "For every user: the machine's registry database instead of the user's");
  command->callback([&options, chosen, register_it] {
    const std::string path = chosen->module.empty() ? DefaultModulePath() : chosen->module;
    const RegistrationScope scope =
        chosen->system ? RegistrationScope::Machine : RegistrationScope::User;
    if (register_it)
      RegisterModule(path, scope);
    else
      UnregisterModule(path, scope);
    const std::string registry = chosen->system ? SystemRegistryLocation() : RegistryLocation();
    if (options.json) {
      PrintJson({{"module", path},
                 {"registry", registry},
                 {"system", chosen->system},
                 {"registered", register_it}});
    } else {
      std::printf("%s %s %s\n", register_it ? "Registered" : "Unregistered", path.c_str(),
                  register_it ? ("in " + registry).c_str() : ("from " + registry).c_str());
    }
  });
}

}  // namespace

void AddRegistrationCommands(CLI::App& app, const GlobalOptions& options) {
  AddOne(app, options, true);
  AddOne(app, options, false);
}

}  // namespace qxcli

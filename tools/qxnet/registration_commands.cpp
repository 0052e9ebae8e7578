// qxnet register [MODULE] / qxnet unregister [MODULE]
#include <cstdio>

#include "tools/qxnet/commands.h"
#include "tools/qxnet/module_location.h"
#include "tools/qxnet/module_registration.h"

namespace qxcli {

namespace {

void AddOne(CLI::App& app, const GlobalOptions& options, bool register_it) {
  auto* command = app.add_subcommand(
      register_it ? "register" : "unregister",
      register_it ? "Register the library's classes in the registry store"
                  : "Remove the library's classes from the registry store");
  auto module = std::make_shared<std::string>();
  command->add_option("MODULE", *module, "The server module (default: ../lib/libqxnet.so beside "
                                         "this binary)");
  command->callback([&options, module, register_it] {
    const std::string path = module->empty() ? DefaultModulePath() : *module;
    if (register_it)
      RegisterModule(path);
    else
      UnregisterModule(path);
    const std::string registry = RegistryLocation();
    if (options.json) {
      PrintJson({{"module", path},
                 {"registry", registry},
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

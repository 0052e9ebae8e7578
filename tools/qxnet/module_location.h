// Where things are: the module installed beside the binary, and the
// registry store this process uses.
#pragma once

#include <string>

namespace qxcli {

// The directory holding the running binary (from /proc/self/exe).
std::string ExecutableDirectory();

// ../lib/libqxnet.so relative to the binary (or the installed library
// folder), made absolute.
std::string DefaultModulePath();

// The registry database the runtime uses: $QXNET_REGISTRY, else
// $XDG_CONFIG_HOME/corvane/registry.db, else ~/.config/corvane/registry.db.
std::string RegistryLocation();

// The machine's registry database, shared by every user:
// $QXNET_SYSTEM_REGISTRY, else /var/lib/qxnet/registry.db.
std::string SystemRegistryLocation();

// The folder of temporary files ($TMPDIR, else /tmp), without a trailing '/'.
std::string TemporaryDirectory();

}  // namespace qxcli

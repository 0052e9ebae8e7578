// The user's temporary folder: $TMPDIR when set and not empty, else /tmp.
#pragma once

#include <string>

namespace qx::net {

// The folder without a trailing '/' (except for "/" itself).
std::string TemporaryFolder();

}  // namespace qx::net

// Where a .NET host lives. A folder holds a host when it has an executable
// regular file `dotnet` (the host program) or a `host/fxr` folder (the host
// resolver the program loads); either one is what a runtime install leaves
// behind, so either one counts.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace qx::detect {

// The folders searched, in order: $DOTNET_ROOT (when set and not empty),
// /usr/share/dotnet, /usr/lib/dotnet, and .dotnet in the home folder ($HOME,
// else the user database).
std::vector<std::string> DotNetHostCandidates();

// True when `folder` holds a .NET host (see above).
bool IsDotNetHostFolder(const std::string& folder);

// The first of `candidates` that holds a host, with trailing separators
// removed; nullopt when none does.
std::optional<std::string> LocateDotNetHost(const std::vector<std::string>& candidates);

}  // namespace qx::detect

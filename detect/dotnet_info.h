// DotNetInfo: what one property call of the detector knows about the .NET
// runtime, built afresh at the start of the call and dropped at its end.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace qx::detect {

struct DotNetInfo {
  // The install root: the registry's "InstallRoot" value when it is set,
  // else the host's shared/Microsoft.NETCore.App/ folder (with a trailing
  // '/') when that folder exists; none otherwise.
  std::optional<std::u16string> installRoot;
  // A .NET host was found; every other step is gated by it.
  bool present = false;
};

// The capacities the detector reads and copies the install root with.
inline constexpr size_t kInstallRootReadCapacity = 512;
inline constexpr size_t kInstallRootPathCapacity = 261;
inline constexpr size_t kInstallRootListCapacity = 512;

// Builds the record for the host folders of DotNetHostCandidates().
DotNetInfo BuildDotNetInfo();
// Builds the record searching `hostCandidates` for the host.
DotNetInfo BuildDotNetInfo(const std::vector<std::string>& hostCandidates);

// Copies the install root with its terminator into `buffer`: false when none
// is held or its length is `capacity` or more.
bool CopyInstallRoot(const DotNetInfo& info, char16_t* buffer, size_t capacity);

// The install root when CopyInstallRoot with `capacity` would succeed.
std::optional<std::u16string> InstallRootWithin(const DotNetInfo& info, size_t capacity);

}  // namespace qx::detect

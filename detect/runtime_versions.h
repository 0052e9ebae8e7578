// The runtime versions under the install root: the folders the install root
// lists, the ones that hold a runtime, and the version text of each.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "detect/dotnet_info.h"

namespace qx::detect {

// The list entry of a version whose core library has no readable version.
inline constexpr std::u16string_view kUnknownMscorlibVersion =
    u"<Version could not be extracted from mscorlib>";

// Appends the names of the install root's subfolders (symbolic links to
// folders included) to `names`, in the order the folder lists them, "." and
// ".." included when the listing yields them. Nothing when the runtime is not
// present, the install root is missing or 512 characters or longer, or it
// cannot be listed. Names that are not valid UTF-8 are left out: they could
// not be turned back into the same path. Returns the number of names added.
size_t EnumVersionDirectories(const DotNetInfo& info, std::vector<std::u16string>& names);

// True when `name` is a runtime version folder: the runtime is present, the
// name is a plain folder name (not ".", ".." or a path), and the folder
// install root + name holds the runtime's core library as a regular file,
// System.Private.CoreLib.dll or mscorlib.dll.
bool IsRuntimeVersionUsable(const DotNetInfo& info, std::u16string_view name);

// The version text of install root + name + "/mscorlib.dll" (the install
// root as stored: no separator is added after it), or
// kUnknownMscorlibVersion.
std::u16string GetMscorlibVersion(const DotNetInfo& info, std::u16string_view name);

// Appends the version text of every usable folder, in listing order, to
// `versions`; returns the number appended.
size_t CollectClrVersions(const DotNetInfo& info, std::vector<std::u16string>& versions);

}  // namespace qx::detect

// The registrar: runs a registration script (see registrar_script.h) against
// the registry, writing what it names (register) or removing it (unregister).
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "qxnet/platform.h"

namespace qx::registry {

// %NAME% -> text pairs; names compare without case.
using ScriptReplacements = std::vector<std::pair<std::u16string, std::u16string>>;

// Register mode: keys marked ForceRemove are deleted with their subtree and
// written anew, keys marked Delete are deleted, every other key is created
// (if missing) and its values set; running a script twice gives the same
// content as running it once.
// Unregister mode: every key the script names is deleted with its subtree,
// except keys marked NoRemove, which are kept and descended into (their
// "val" entries are deleted).
//
// The whole script is one registry transaction: it is applied completely or
// not at all. Answers S_OK; DISP_E_EXCEPTION when the script cannot be parsed
// (nothing is written); HRESULT_FROM_WIN32(status) when the registry fails.
HRESULT UpdateRegistryFromScript(
    std::u16string_view script, bool doRegister,
    const std::vector<std::pair<std::u16string, std::u16string>>& replacements);

}  // namespace qx::registry

// The registration script of each class, in the registrar's script
// language: the two ProgID keys and the class key with its ProgID,
// VersionIndependentProgID, Programmable, InprocServer32 (%MODULE%, with the
// threading model) and TypeLib subkeys.
#pragma once

#include <string>

#include "server/module/object_map.h"

namespace qx {

std::u16string RegistrationScript(const ClassEntry& entry);

}  // namespace qx

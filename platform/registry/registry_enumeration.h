// Enumeration of a key's subkeys and values by index, as RegEnumKeyExW and
// RegEnumValueW ask for them. The calling thread remembers where its last
// few enumerations stopped, so a walk over index 0, 1, 2, ... reads one
// entry per step (the next in key order) instead of the whole list.
#pragma once

#include <string>

#include "platform/registry/key_path.h"
#include "platform/registry/registry_database.h"

namespace qx::registry {

// The subkey or value at `index` in folded-name order; false past the end.
bool SubkeyAt(Transaction& tx, const KeyLocation& key, DWORD index, std::string& displayName);
bool ValueAt(Transaction& tx, const KeyLocation& key, DWORD index, ValueRecord& out);

}  // namespace qx::registry

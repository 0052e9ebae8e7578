// Open registry keys: HKEY values handed to callers. The predefined roots
// are fixed values; every other handle is a heap record listed in a table so
// that a stale or made-up handle is recognised instead of dereferenced.
#pragma once

#include "platform/registry/key_path.h"
#include "qxnet/platform.h"

namespace qx::registry {

bool IsPredefinedRoot(HKEY key);
// The location named by a predefined root (or the key it is overridden
// with) or an open handle; ERROR_INVALID_HANDLE for anything else.
LSTATUS ResolveKey(HKEY key, KeyLocation& out);
// A new handle for `location`; null when memory runs out.
HKEY OpenKeyHandle(const KeyLocation& location);
// Forgets and frees an open handle; ERROR_INVALID_HANDLE if it is not one.
LSTATUS CloseKeyHandle(HKEY key);
// Makes the predefined `root` name the key `target` names, for the whole
// process (a null target restores the root itself).
LSTATUS OverridePredefinedKey(HKEY root, HKEY target);

}  // namespace qx::registry

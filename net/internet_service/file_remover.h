// Removal of cache files that no entry names any more. Freeing a large
// file's blocks takes long (a gigabyte: a good part of a second), so large
// files are removed by a worker thread, off the caller's time; small ones
// at once. The worker finishes its queue when the process exits normally or
// the module is unloaded; a file still queued at a crash stays for the
// cache folder's sweep, which removes files that no entry names.
#pragma once

#include <string>

namespace qx::inet {

// Files at least this large go to the worker.
inline constexpr long long kRemoveLaterSize = 8ll << 20;

void RemoveUnusedFile(const std::string& path);

// Waits until every file handed over so far is removed.
void WaitForRemovals();

}  // namespace qx::inet

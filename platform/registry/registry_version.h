// Whether the registry may have changed since an earlier look, for caches of
// lookups made through it (the class registry's). Changes of this process
// are counted as they are made; another process's commits show in SQLite's
// data version of each database, which costs no read of the data.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "platform/registry/registry_connection.h"

namespace qx::registry {

struct RegistryVersion {
  uint64_t localChanges = 0;
  // Per database; -1 while the database does not exist.
  std::array<int64_t, kStoreCount> dataVersions{};

  bool operator==(const RegistryVersion&) const = default;
};

// Counts a change in this process: a write, a rollback, or a database
// connection opened or closed (another file, or the same file replaced).
void NoteLocalChange();

// The present version; nullopt when it cannot be told (a database cannot
// be read, or the calling thread has its own transaction open, whose
// uncommitted changes only its own lookups see).
std::optional<RegistryVersion> CurrentRegistryVersion();

}  // namespace qx::registry

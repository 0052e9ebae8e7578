// Whether the registry may have changed since an earlier look, for caches of
// lookups made through it (the class registry's). Changes of this process
// are counted as they are made; another process's commits show in each
// database's change watch (no system call), or where there is none in
// SQLite's data version of the database.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "platform/registry/change_watch.h"
#include "platform/registry/registry_connection.h"

namespace qx::registry {

struct StoreVersion {
  // -1 while the database does not exist; 0 while it is watched.
  int64_t dataVersion = 0;
  Fingerprint fingerprint{};

  bool operator==(const StoreVersion&) const = default;
};

struct RegistryVersion {
  uint64_t localChanges = 0;
  std::array<StoreVersion, kStoreCount> stores{};

  bool operator==(const RegistryVersion&) const = default;
};

// Counts a change in this process: a write, a rollback, or a database
// connection opened or closed (another file, or the same file replaced).
void NoteLocalChange();

// The present version; nullopt when it cannot be told (a database cannot
// be read, or the calling thread has its own transaction open, whose
// uncommitted changes only its own lookups see). A database file replaced
// under the same name by other means than SQLite's is noticed once a
// registry read reopens it, not by this question alone.
std::optional<RegistryVersion> CurrentRegistryVersion();

}  // namespace qx::registry

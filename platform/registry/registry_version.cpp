#include "platform/registry/registry_version.h"

#include <atomic>
#include <mutex>
#include <new>

#include "platform/registry/registry_database.h"

namespace qx::registry {

namespace {

std::atomic<uint64_t> g_local_changes{0};

}  // namespace

void NoteLocalChange() { g_local_changes.fetch_add(1, std::memory_order_relaxed); }

std::optional<RegistryVersion> CurrentRegistryVersion() {
  if (InThreadTransaction()) return std::nullopt;
  try {
    std::lock_guard<std::mutex> lock(ConnectionMutex());
    RegistryVersion version;
    for (size_t i = 0; i < kStoreCount; ++i) {
      const auto store = static_cast<Store>(i);
      Connection& connection = TheConnection(store);
      // Notices another file named by the environment, or the file removed
      // or replaced (which opens or closes a connection, a local change).
      EnsureConnection(connection, store, false);
      if (connection.db == nullptr) {
        version.dataVersions[i] = -1;
        continue;
      }
      Statement query(connection, "PRAGMA data_version");
      if (!query.Step()) return std::nullopt;
      version.dataVersions[i] = query.Int(0);
    }
    version.localChanges = g_local_changes.load(std::memory_order_relaxed);
    return version;
  } catch (const StoreFailure&) {
    return std::nullopt;
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

}  // namespace qx::registry

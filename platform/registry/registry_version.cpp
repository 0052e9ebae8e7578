#include "platform/registry/registry_version.h"

#include <atomic>
#include <mutex>
#include <new>
#include <string>

#include "platform/registry/registry_database.h"

namespace qx::registry {

namespace {

std::atomic<uint64_t> g_local_changes{0};

std::string StorePath(Store store) {
  return store == Store::User ? DatabasePath() : MachineDatabasePath();
}

// The version of one database through its watch, when it has one that
// still applies: opened by this process, at the file named now.
bool Watched(Connection& connection, Store store, StoreVersion& out) {
  return connection.db != nullptr && connection.forkGeneration == ForkGeneration() &&
         connection.path == StorePath(store) && connection.watch.Read(out.fingerprint);
}

// The version of one database asked of SQLite, which then starts the
// watch that answers the next time. Throws StoreFailure.
StoreVersion Asked(Connection& connection, Store store) {
  StoreVersion version;
  // Notices another file named by the environment, or the file removed or
  // replaced (which opens or closes a connection, a local change).
  EnsureConnection(connection, store, false);
  if (connection.db == nullptr) {
    version.dataVersion = -1;
    return version;
  }
  {
    Statement query(connection, "PRAGMA data_version");
    if (!query.Step()) throw StoreFailure{ERROR_CANTREAD, connection.path, "no data version"};
    version.dataVersion = query.Int(0);
  }
  connection.watch.Start(connection.db, connection.path);
  if (connection.watch.Read(version.fingerprint)) version.dataVersion = 0;
  return version;
}

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
      if (!Watched(connection, store, version.stores[i]))
        version.stores[i] = Asked(connection, store);
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

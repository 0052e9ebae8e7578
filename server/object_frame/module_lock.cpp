#include "server/object_frame/module_lock.h"

#include <atomic>

namespace qx {

namespace {
std::atomic<LONG> g_lockCount{0};
}

void LockModule() { g_lockCount.fetch_add(1, std::memory_order_relaxed); }
void UnlockModule() { g_lockCount.fetch_sub(1, std::memory_order_acq_rel); }
LONG ModuleLockCount() { return g_lockCount.load(std::memory_order_acquire); }

}  // namespace qx

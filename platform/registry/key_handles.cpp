#include "platform/registry/key_handles.h"

#include <mutex>
#include <new>
#include <unordered_set>

// The record behind an open key handle.
struct HKEY__ {
  qx::registry::KeyLocation location;
};

namespace qx::registry {

namespace {

std::mutex& HandleMutex() {
  static std::mutex* mutex = new std::mutex;
  return *mutex;
}
std::unordered_set<HKEY>& OpenHandles() {
  static auto* handles = new std::unordered_set<HKEY>;
  return *handles;
}

}  // namespace

bool IsPredefinedRoot(HKEY key) {
  return key == HKEY_CLASSES_ROOT || key == HKEY_CURRENT_USER || key == HKEY_LOCAL_MACHINE;
}

LSTATUS ResolveKey(HKEY key, KeyLocation& out) {
  if (IsPredefinedRoot(key)) {
    out = KeyLocation{key, {}, {}};
    return ERROR_SUCCESS;
  }
  std::lock_guard<std::mutex> lock(HandleMutex());
  if (key == nullptr || OpenHandles().count(key) == 0) return ERROR_INVALID_HANDLE;
  try {
    out = key->location;
  } catch (const std::bad_alloc&) {
    return ERROR_OUTOFMEMORY;
  }
  return ERROR_SUCCESS;
}

HKEY OpenKeyHandle(const KeyLocation& location) {
  try {
    auto* handle = new HKEY__{location};
    std::lock_guard<std::mutex> lock(HandleMutex());
    try {
      OpenHandles().insert(handle);
    } catch (const std::bad_alloc&) {
      delete handle;
      return nullptr;
    }
    return handle;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

LSTATUS CloseKeyHandle(HKEY key) {
  {
    std::lock_guard<std::mutex> lock(HandleMutex());
    if (key == nullptr || OpenHandles().erase(key) == 0) return ERROR_INVALID_HANDLE;
  }
  delete key;
  return ERROR_SUCCESS;
}

}  // namespace qx::registry

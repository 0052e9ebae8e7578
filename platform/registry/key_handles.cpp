#include "platform/registry/key_handles.h"

#include <array>
#include <mutex>
#include <new>
#include <optional>
#include <unordered_set>

#include "platform/registry/registry_version.h"

// The record behind an open key handle.
struct QxRegistryKeyHandle {
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

// The locations the predefined roots are overridden with, by root index.
std::array<std::optional<KeyLocation>, 3>& Overrides() {
  static auto* overrides = new std::array<std::optional<KeyLocation>, 3>;
  return *overrides;
}

size_t RootIndex(HKEY root) { return reinterpret_cast<uintptr_t>(root) - 0x80000000u; }

}  // namespace

bool IsPredefinedRoot(HKEY key) {
  return key == HKEY_CLASSES_ROOT || key == HKEY_CURRENT_USER || key == HKEY_LOCAL_MACHINE;
}

LSTATUS ResolveKey(HKEY key, KeyLocation& out) {
  std::lock_guard<std::mutex> lock(HandleMutex());
  const bool predefined = IsPredefinedRoot(key);
  if (!predefined && (key == nullptr || OpenHandles().count(key) == 0)) return ERROR_INVALID_HANDLE;
  try {
    if (!predefined) {
      out = key->location;
    } else if (const auto& target = Overrides()[RootIndex(key)]; target) {
      out = *target;
    } else {
      out = KeyLocation{key, {}, {}};
    }
  } catch (const std::bad_alloc&) {
    return ERROR_OUTOFMEMORY;
  }
  return ERROR_SUCCESS;
}

HKEY OpenKeyHandle(const KeyLocation& location) {
  try {
    auto* handle = new QxRegistryKeyHandle{location};
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

LSTATUS OverridePredefinedKey(HKEY root, HKEY target) {
  if (!IsPredefinedRoot(root)) return ERROR_INVALID_HANDLE;
  std::optional<KeyLocation> location;
  if (target != nullptr) {
    KeyLocation resolved;
    const LSTATUS status = ResolveKey(target, resolved);
    if (status != ERROR_SUCCESS) return status;
    location = std::move(resolved);
  }
  std::lock_guard<std::mutex> lock(HandleMutex());
  Overrides()[RootIndex(root)] = std::move(location);
  // Lookups remembered through the root now name other keys.
  NoteLocalChange();
  return ERROR_SUCCESS;
}

}  // namespace qx::registry

// Lookups of the class registry remembered while the registry stays
// unchanged: the module registered for a class identifier, the class
// identifier a ProgID stands for. Any change of the registry (by this
// process or another) drops every entry, so a re-registration or an
// unregistration is seen by the next lookup.
#pragma once

#include <cstring>
#include <functional>
#include <mutex>
#include <optional>
#include <unordered_map>

#include "platform/registry/registry_version.h"
#include "qxnet/platform.h"

namespace qx::com {

struct GuidHash {
  size_t operator()(const GUID& guid) const noexcept {
    uint64_t halves[2];
    static_assert(sizeof(halves) == sizeof(GUID));
    std::memcpy(halves, &guid, sizeof(GUID));
    return std::hash<uint64_t>()(halves[0] ^ (halves[1] * 0x9E3779B97F4A7C15ull));
  }
};

template <class Key, class Value, class Hash = std::hash<Key>>
class RegistryLookupCache {
 public:
  // The value for `key`: the remembered one, or what `lookup(out)` finds in
  // the registry (only successful lookups are remembered). Throws
  // std::bad_alloc.
  template <class Lookup>
  HRESULT Find(const Key& key, Value& out, Lookup lookup) {
    // Taken before the registry is read: a change made meanwhile leaves
    // the entry under an older version, which the next lookup drops.
    const std::optional<registry::RegistryVersion> version = registry::CurrentRegistryVersion();
    if (version) {
      std::lock_guard<std::mutex> lock(mutex_);
      if (version_ != version) {
        entries_.clear();
        version_ = version;
      }
      const auto found = entries_.find(key);
      if (found != entries_.end()) {
        out = found->second;
        return S_OK;
      }
    }
    const HRESULT hr = lookup(out);
    if (SUCCEEDED(hr) && version) {
      std::lock_guard<std::mutex> lock(mutex_);
      if (version_ == version) entries_.try_emplace(key, out);
    }
    return hr;
  }

 private:
  std::mutex mutex_;
  std::optional<registry::RegistryVersion> version_;
  std::unordered_map<Key, Value, Hash> entries_;
};

}  // namespace qx::com

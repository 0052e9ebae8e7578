// A zero-filled buffer for one internet-cache entry record and the texts
// that follow it, aligned for the record.
#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

#include "net/internet_service/internet_service.h"

namespace qx::net {

class CacheEntryBuffer {
 public:
  // At least `bytes` long, and never shorter than the record itself.
  explicit CacheEntryBuffer(DWORD bytes)
      : words_(
            (std::max<size_t>(bytes, sizeof(inet::INTERNET_CACHE_ENTRY_INFOW)) + sizeof(Word) - 1) /
            sizeof(Word)),
        size_(bytes) {}

  inet::INTERNET_CACHE_ENTRY_INFOW* entry() {
    return reinterpret_cast<inet::INTERNET_CACHE_ENTRY_INFOW*>(words_.data());
  }
  // The size to tell the cache: the size asked for.
  DWORD* size() { return &size_; }

 private:
  using Word = std::max_align_t;
  std::vector<Word> words_;
  DWORD size_;
};

}  // namespace qx::net

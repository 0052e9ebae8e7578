#include "server/event_source/connection_list.h"

#include <algorithm>
#include <limits>
#include <new>

namespace qx {

ConnectionList::~ConnectionList() {
  for (size_t i = 0; i < slotCount_; ++i)
    if (IUnknown* sink = slots_[i]) sink->Release();
}

DWORD ConnectionList::Add(IUnknown* sink) noexcept {
  size_t slot = 0;
  while (slot < slotCount_ && slots_[slot]) ++slot;
  if (slot == slotCount_) {
    size_t grown = slotCount_ == 0 ? kFirstSlotCount : slotCount_ * 2;
    // Every cookie must fit in 32 bits.
    if (grown > std::numeric_limits<DWORD>::max()) return 0;
    std::unique_ptr<IUnknown*[]> larger(new (std::nothrow) IUnknown*[grown]);
    if (!larger) return 0;
    std::fill(larger.get(), larger.get() + grown, nullptr);
    if (slotCount_ > 0) std::copy(slots_.get(), slots_.get() + slotCount_, larger.get());
    slots_ = std::move(larger);
    slotCount_ = grown;
  }
  slots_[slot] = sink;
  return static_cast<DWORD>(slot + 1);
}

IUnknown* ConnectionList::Remove(DWORD cookie) noexcept {
  if (cookie == 0 || cookie > slotCount_) return nullptr;
  IUnknown* sink = slots_[cookie - 1];
  slots_[cookie - 1] = nullptr;
  return sink;
}

}  // namespace qx

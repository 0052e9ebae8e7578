// The list of sinks connected to one connection point.
//
// A growable array of slots: it starts with no storage, the first connection
// allocates 4 empty slots, and when every slot is taken the array doubles
// (the new slots start empty). A sink goes into the first empty slot, and its
// cookie is the slot index plus 1 (cookie 0 is never valid). A disconnected
// slot becomes empty and is reused, so cookies are reused. The array never
// shrinks. The list holds one reference on each stored sink.
#pragma once

#include <cstddef>
#include <memory>

#include "qxnet/platform.h"

namespace qx {

class ConnectionList {
 public:
  ConnectionList() = default;
  ConnectionList(const ConnectionList&) = delete;
  ConnectionList& operator=(const ConnectionList&) = delete;
  ~ConnectionList();  // releases every stored sink

  // Stores `sink`, taking over the caller's reference, and returns its
  // cookie; 0 (and the reference stays the caller's) when no slot can be had.
  DWORD Add(IUnknown* sink) noexcept;

  // Empties the slot named by `cookie` and hands its reference to the
  // caller; null when the cookie names no connection.
  IUnknown* Remove(DWORD cookie) noexcept;

  size_t SlotCount() const { return slotCount_; }
  // The sink in `slot` (not add-referenced), or null when the slot is empty
  // or past the end.
  IUnknown* At(size_t slot) const { return slot < slotCount_ ? slots_[slot] : nullptr; }

 private:
  static constexpr size_t kFirstSlotCount = 4;

  std::unique_ptr<IUnknown*[]> slots_;
  size_t slotCount_ = 0;
};

}  // namespace qx

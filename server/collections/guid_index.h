// The guid index of an item collection: each guid its members carry,
// compared ignoring case (as CaseFoldKey folds it), with the number of
// members carrying it.
//
// A flat open-addressing table: one contiguous array of slots, each holding
// the hash of its key beside where the key's folded text is kept, probed
// linearly; the texts sit together in one buffer. A lookup folds and hashes
// the guid in one pass without copying it, and compares text only when the
// stored hash matches, so a lookup in a large list touches one or two
// adjacent slots instead of a chain of scattered nodes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace qx {

class GuidIndex {
 public:
  // Number of distinct guids held.
  size_t size() const { return used_; }

  // Room for `guids` distinct guids without regrowing.
  void reserve(size_t guids);
  void clear();

  bool contains(std::u16string_view guid) const;
  // Adds the guid with one carrier when it is not held yet; answers whether
  // it was added (a held guid is left as it is).
  bool addIfAbsent(std::u16string_view guid);
  // Adds one carrier of the guid.
  void add(std::u16string_view guid);
  // Removes one carrier of the guid (the guid itself with its last one);
  // nothing when it is not held.
  void remove(std::u16string_view guid);

 private:
  // Sixteen bytes, four to a cache line: a large index is visited at
  // random, so its size decides how often a lookup waits for memory.
  struct Slot {
    uint32_t hash = 0;
    // Members carrying the guid; 0 marks a free slot.
    uint32_t count = 0;
    uint32_t keyOffset = 0;
    uint32_t keyLength = 0;
  };
  // Where a guid is, or the free slot where it would go.
  struct Probe {
    size_t slot;
    bool found;
  };

  Probe find(std::u16string_view visible, uint32_t hash) const;
  bool keyEquals(const Slot& slot, std::u16string_view visible) const;
  // Stores the guid in the free slot `slot` with one carrier.
  // Throws std::bad_alloc when the text does not fit (or no longer fits
  // 32-bit offsets).
  void insertAt(size_t slot, std::u16string_view visible, uint32_t hash);
  // Frees a slot, moving later slots of its probe run back into the gap.
  void erase(size_t slot);
  // Makes room for one more guid; answers whether the slots moved.
  bool growForOneMore();
  void rehash(size_t capacity);
  // Drops the text of removed guids once it outweighs the live text.
  void compactKeysIfWasteful();

  std::vector<Slot> slots_;  // empty, or a power of two in size
  std::vector<char16_t> keys_;
  size_t used_ = 0;
  // Code units of keys_ that belong to removed guids.
  size_t wastedKeyUnits_ = 0;
};

}  // namespace qx

#include "server/collections/guid_index.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <new>

#include "server/collections/case_fold.h"

namespace qx {

namespace {

// Removed keys' text is dropped once there is at least this much of it and
// more of it than live text: rarely enough to cost little, often enough to
// keep the buffer bounded by the live guids.
constexpr size_t kMinWasteToCompact = 4096;

char16_t Fold(char16_t c) {
  if (c < 0x80) return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c;
  return FoldCase(c);
}

// FNV-1a over the folded code units, then mixed so that guids differing
// only in their last digits still spread over the low bits the table uses.
uint32_t FoldedHash(std::u16string_view visible) {
  uint64_t hash = 0xcbf29ce484222325u;
  for (char16_t c : visible) hash = (hash ^ Fold(c)) * 0x100000001b3u;
  hash ^= hash >> 33;
  hash *= 0xff51afd7ed558ccdu;
  hash ^= hash >> 33;
  hash *= 0xc4ceb9fe1a85ec53u;
  hash ^= hash >> 33;
  return static_cast<uint32_t>(hash);
}

// Slots needed for `guids` entries at a load of at most three quarters.
size_t CapacityFor(size_t guids) {
  return std::bit_ceil(std::max<size_t>(16, guids + guids / 3 + 1));
}

}  // namespace

void GuidIndex::reserve(size_t guids) {
  const size_t capacity = CapacityFor(guids);
  if (capacity > slots_.size()) rehash(capacity);
}

void GuidIndex::clear() {
  std::fill(slots_.begin(), slots_.end(), Slot{});
  keys_.clear();
  used_ = 0;
  wastedKeyUnits_ = 0;
}

bool GuidIndex::contains(std::u16string_view guid) const {
  const std::u16string_view visible = TextUpToZero(guid);
  return find(visible, FoldedHash(visible)).found;
}

bool GuidIndex::addIfAbsent(std::u16string_view guid) {
  const std::u16string_view visible = TextUpToZero(guid);
  const uint32_t hash = FoldedHash(visible);
  Probe probe = find(visible, hash);
  if (probe.found) return false;
  if (growForOneMore()) probe = find(visible, hash);
  insertAt(probe.slot, visible, hash);
  return true;
}

void GuidIndex::add(std::u16string_view guid) {
  const std::u16string_view visible = TextUpToZero(guid);
  const uint32_t hash = FoldedHash(visible);
  Probe probe = find(visible, hash);
  if (probe.found) {
    ++slots_[probe.slot].count;
    return;
  }
  if (growForOneMore()) probe = find(visible, hash);
  insertAt(probe.slot, visible, hash);
}

void GuidIndex::remove(std::u16string_view guid) {
  const std::u16string_view visible = TextUpToZero(guid);
  const Probe probe = find(visible, FoldedHash(visible));
  if (!probe.found) return;
  Slot& slot = slots_[probe.slot];
  if (--slot.count != 0) return;
  wastedKeyUnits_ += slot.keyLength;
  erase(probe.slot);
  --used_;
  compactKeysIfWasteful();
}

GuidIndex::Probe GuidIndex::find(std::u16string_view visible, uint32_t hash) const {
  if (slots_.empty()) return {0, false};
  const size_t mask = slots_.size() - 1;
  for (size_t i = hash & mask;; i = (i + 1) & mask) {
    const Slot& slot = slots_[i];
    if (slot.count == 0) return {i, false};
    if (slot.hash == hash && keyEquals(slot, visible)) return {i, true};
  }
}

bool GuidIndex::keyEquals(const Slot& slot, std::u16string_view visible) const {
  if (slot.keyLength != visible.size()) return false;
  const char16_t* key = keys_.data() + slot.keyOffset;
  for (size_t i = 0; i < visible.size(); ++i)
    if (Fold(visible[i]) != key[i]) return false;
  return true;
}

void GuidIndex::insertAt(size_t slot, std::u16string_view visible, uint32_t hash) {
  // The text first: should it fail to fit, the table is unchanged.
  const size_t offset = keys_.size();
  if (visible.size() > UINT32_MAX - offset) throw std::bad_alloc();
  keys_.resize(offset + visible.size());
  std::transform(visible.begin(), visible.end(), keys_.begin() + std::ptrdiff_t(offset), Fold);
  slots_[slot] =
      Slot{hash, 1, static_cast<uint32_t>(offset), static_cast<uint32_t>(visible.size())};
  ++used_;
}

void GuidIndex::erase(size_t slot) {
  const size_t mask = slots_.size() - 1;
  size_t hole = slot;
  for (size_t next = (hole + 1) & mask; slots_[next].count != 0; next = (next + 1) & mask) {
    // A later entry moves into the hole unless its home slot lies after the
    // hole (cyclically): then the hole is not on its probe path.
    const size_t home = slots_[next].hash & mask;
    const bool homeAfterHole =
        hole <= next ? (hole < home && home <= next) : (hole < home || home <= next);
    if (homeAfterHole) continue;
    slots_[hole] = slots_[next];
    hole = next;
  }
  slots_[hole] = Slot{};
}

bool GuidIndex::growForOneMore() {
  if (!slots_.empty() && (used_ + 1) * 4 <= slots_.size() * 3) return false;
  rehash(slots_.empty() ? CapacityFor(1) : slots_.size() * 2);
  return true;
}

void GuidIndex::rehash(size_t capacity) {
  std::vector<Slot> larger(capacity);
  const size_t mask = capacity - 1;
  for (const Slot& slot : slots_) {
    if (slot.count == 0) continue;
    size_t i = slot.hash & mask;
    while (larger[i].count != 0) i = (i + 1) & mask;
    larger[i] = slot;
  }
  slots_.swap(larger);
}

void GuidIndex::compactKeysIfWasteful() {
  if (wastedKeyUnits_ < kMinWasteToCompact || wastedKeyUnits_ * 2 < keys_.size()) return;
  std::vector<char16_t> live;
  try {
    live.reserve(keys_.size() - wastedKeyUnits_);
  } catch (const std::bad_alloc&) {
    return;  // the waste stays until a later removal
  }
  for (Slot& slot : slots_) {
    if (slot.count == 0) continue;
    const auto first = keys_.begin() + std::ptrdiff_t(slot.keyOffset);
    slot.keyOffset = static_cast<uint32_t>(live.size());
    live.insert(live.end(), first, first + slot.keyLength);
  }
  keys_.swap(live);
  wastedKeyUnits_ = 0;
}

}  // namespace qx

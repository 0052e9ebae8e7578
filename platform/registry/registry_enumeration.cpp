#include "platform/registry/registry_enumeration.h"

#include <array>
#include <optional>

namespace qx::registry {

namespace {

enum class Kind { Subkeys, Values };

// Where one enumeration stopped: the entry at `index` has the folded name
// `folded`, and the one before it `before` (none for the first), so that
// asking for the same entry again (with a larger buffer) costs one step too.
struct Cursor {
  bool used = false;
  Kind kind = Kind::Subkeys;
  HKEY root = nullptr;
  std::string key;
  DWORD index = 0;
  std::string folded;
  std::optional<std::string> before;
};

// A few cursors per thread, so nested walks (a key's subkeys, and below
// each the subkeys of that one) each keep their own.
constexpr size_t kCursorCount = 8;
struct Cursors {
  std::array<Cursor, kCursorCount> slots;
  size_t nextVictim = 0;
};
thread_local Cursors t_cursors;

Cursor& CursorFor(Kind kind, const KeyLocation& key) {
  for (Cursor& cursor : t_cursors.slots) {
    if (cursor.used && cursor.kind == kind && cursor.root == key.root && cursor.key == key.folded)
      return cursor;
  }
  Cursor& cursor = t_cursors.slots[t_cursors.nextVictim];
  t_cursors.nextVictim = (t_cursors.nextVictim + 1) % kCursorCount;
  cursor = Cursor{};
  cursor.kind = kind;
  cursor.root = key.root;
  cursor.key = key.folded;
  return cursor;
}

// Steps to the entry at `index`, calling `next(after, folded)` once per
// entry passed: after the cursor's entry (or the one before it) when the
// wanted one lies at or beyond it, otherwise from the first entry.
template <class Next>
bool StepTo(Cursor& cursor, DWORD index, Next next) {
  std::optional<std::string> after;
  DWORD position = 0;
  if (cursor.used && cursor.index < index) {
    after = std::move(cursor.folded);
    position = cursor.index + 1;
  } else if (cursor.used && cursor.index == index) {
    after = std::move(cursor.before);
    position = index;
  }
  cursor.used = false;
  std::string folded;
  for (;;) {
    if (!next(after ? &*after : nullptr, folded)) return false;
    if (position == index) break;
    after = std::move(folded);
    folded.clear();
    ++position;
  }
  cursor.used = true;
  cursor.index = index;
  cursor.folded = std::move(folded);
  cursor.before = std::move(after);
  return true;
}

}  // namespace

bool SubkeyAt(Transaction& tx, const KeyLocation& key, DWORD index, std::string& displayName) {
  return StepTo(CursorFor(Kind::Subkeys, key), index,
                [&](const std::string* after, std::string& folded) {
                  return tx.NextSubkey(key, after, folded, displayName);
                });
}

bool ValueAt(Transaction& tx, const KeyLocation& key, DWORD index, ValueRecord& out) {
  return StepTo(CursorFor(Kind::Values, key), index,
                [&](const std::string* after, std::string& folded) {
                  return tx.NextValue(key, after, folded, out);
                });
}

}  // namespace qx::registry

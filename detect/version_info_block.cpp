#include "detect/version_info_block.h"

#include <algorithm>
#include <utility>

namespace qx::detect {

namespace {

// Size of a block header: wLength, wValueLength, wType.
constexpr size_t kHeaderSize = 6;
constexpr uint16_t kTextValue = 1;

size_t AlignUp4(size_t offset) { return (offset + 3) & ~size_t{3}; }

char16_t AsciiLower(char16_t c) { return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c; }

bool EqualsIgnoringAsciiCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

}  // namespace

// One block, located inside data_: [begin, end) is the whole block, the
// value lies at [valueBegin, valueEnd) and its children from childrenBegin
// to end. All offsets are already checked against the buffer.
struct VersionInfoBlock::Block {
  size_t begin = 0;
  size_t end = 0;
  std::u16string key;
  uint16_t valueLength = 0;  // as stored: characters for text, bytes otherwise
  size_t valueBegin = 0;
  size_t valueEnd = 0;
  size_t childrenBegin = 0;
};

uint16_t VersionInfoBlock::Word(size_t offset) const {
  return static_cast<uint16_t>(data_[offset] | (data_[offset + 1] << 8));
}

std::optional<VersionInfoBlock::Block> VersionInfoBlock::ParseBlockAt(size_t offset,
                                                                      size_t limit) const {
  if (limit > data_.size() || offset > limit || limit - offset < kHeaderSize) return std::nullopt;
  const uint16_t length = Word(offset);
  if (length < kHeaderSize || length > limit - offset) return std::nullopt;

  Block block;
  block.begin = offset;
  block.end = offset + length;
  block.valueLength = Word(offset + 2);
  const uint16_t type = Word(offset + 4);

  // The key: UTF-16 text terminated inside the block.
  size_t pos = offset + kHeaderSize;
  bool terminated = false;
  while (pos + 2 <= block.end) {
    const char16_t c = Word(pos);
    pos += 2;
    if (c == 0) {
      terminated = true;
      break;
    }
    block.key.push_back(c);
  }
  if (!terminated) return std::nullopt;

  // The value follows the key on a 32-bit boundary; a length that runs past
  // the block is clamped to it (some resource compilers count text values in
  // bytes rather than characters).
  block.valueBegin = std::min(AlignUp4(pos), block.end);
  const size_t valueBytes = type == kTextValue ? size_t{block.valueLength} * 2 : block.valueLength;
  block.valueEnd = block.valueBegin + std::min(valueBytes, block.end - block.valueBegin);
  block.childrenBegin = std::min(AlignUp4(block.valueEnd), block.end);
  return block;
}

std::optional<VersionInfoBlock> VersionInfoBlock::Parse(std::vector<uint8_t> resource) {
  VersionInfoBlock info(std::move(resource));
  std::optional<Block> root = info.ParseBlockAt(0, info.data_.size());
  if (!root || !EqualsIgnoringAsciiCase(root->key, u"VS_VERSION_INFO")) return std::nullopt;
  return info;
}

std::optional<VersionInfoBlock::Block> VersionInfoBlock::FindBlock(std::u16string_view path) const {
  std::optional<Block> current = ParseBlockAt(0, data_.size());
  while (current) {
    while (!path.empty() && path.front() == u'\\') path.remove_prefix(1);
    if (path.empty()) return current;
    const size_t cut = path.find(u'\\');
    const std::u16string_view name = path.substr(0, cut);
    path = cut == std::u16string_view::npos ? std::u16string_view() : path.substr(cut);

    // Each child is at least one header long, so the walk always advances.
    std::optional<Block> match;
    size_t offset = current->childrenBegin;
    while (offset < current->end) {
      std::optional<Block> child = ParseBlockAt(offset, current->end);
      if (!child) break;
      if (EqualsIgnoringAsciiCase(child->key, name)) {
        match = std::move(child);
        break;
      }
      offset = AlignUp4(child->end);
    }
    current = std::move(match);
  }
  return std::nullopt;
}

std::vector<Translation> VersionInfoBlock::Translations() const {
  std::vector<Translation> table;
  std::optional<Block> block = FindBlock(u"\\VarFileInfo\\Translation");
  if (!block) return table;
  for (size_t pos = block->valueBegin; pos + 4 <= block->valueEnd; pos += 4) {
    table.push_back(Translation{Word(pos), Word(pos + 2)});
  }
  return table;
}

std::optional<std::u16string> VersionInfoBlock::QueryString(std::u16string_view path) const {
  std::optional<Block> block = FindBlock(path);
  if (!block) return std::nullopt;
  // A string's value length counts characters whatever its type says; the
  // text ends at its terminator or at the end of the block.
  const size_t limit = std::min(block->end, block->valueBegin + size_t{block->valueLength} * 2);
  std::u16string text;
  for (size_t pos = block->valueBegin; pos + 2 <= limit; pos += 2) {
    const char16_t c = Word(pos);
    if (c == 0) break;
    text.push_back(c);
  }
  return text;
}

}  // namespace qx::detect

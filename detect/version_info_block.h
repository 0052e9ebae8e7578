// VersionInfoBlock: the version resource of an executable image (the
// VS_VERSIONINFO tree of StringFileInfo and VarFileInfo blocks), queried by
// sub-block path the way the desktop platform's version API does.
//
// The resource bytes come from an untrusted file. Every block is checked
// against its parent's bounds before it is read; a block that overruns its
// parent, has a length below its header size or an unterminated key ends the
// walk of that level, so a hostile resource yields "not found", never a read
// outside the buffer or an endless loop.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qx::detect {

// One entry of the translation table: a language and a code page.
struct Translation {
  uint16_t language = 0;
  uint16_t codePage = 0;
  bool operator==(const Translation&) const = default;
};

class VersionInfoBlock {
 public:
  // Takes the raw resource; nullopt when its root block is not a
  // well-formed "VS_VERSION_INFO" block.
  static std::optional<VersionInfoBlock> Parse(std::vector<uint8_t> resource);

  // The entries of "\VarFileInfo\Translation", in stored order; empty when
  // the block is missing.
  std::vector<Translation> Translations() const;

  // The text value of the block at `path`, for example
  // "\StringFileInfo\040904b0\FileVersion"; block keys are compared
  // ignoring ASCII case. nullopt when no such block exists.
  std::optional<std::u16string> QueryString(std::u16string_view path) const;

 private:
  struct Block;
  explicit VersionInfoBlock(std::vector<uint8_t> resource) : data_(std::move(resource)) {}

  std::optional<Block> ParseBlockAt(size_t offset, size_t limit) const;
  std::optional<Block> FindBlock(std::u16string_view path) const;
  uint16_t Word(size_t offset) const;

  std::vector<uint8_t> data_;
};

}  // namespace qx::detect

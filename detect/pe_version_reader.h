// PeVersionReader: finds the version resource of a PE image (DOS header,
// PE header, section table, resource directory: type 16, first name, first
// language) and hands it over as a VersionInfoBlock.
//
// Files are untrusted. Only the headers and the resource itself are read,
// each with a fixed cap; every offset and size is checked against the file
// before it is used; the resource directory is walked exactly three levels
// deep, so a directory that points back at itself cannot cause a loop.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "detect/version_info_block.h"

namespace qx::detect {

// The largest version resource that is read.
inline constexpr uint32_t kMaxVersionResourceSize = 1u << 20;

// Random access to the bytes of an image.
class ImageSource {
 public:
  virtual uint64_t Size() const = 0;
  // Reads exactly `count` bytes at `offset`; false when they are not all there.
  virtual bool ReadAt(uint64_t offset, void* out, size_t count) const = 0;

 protected:
  ~ImageSource() = default;
};

// An image held in memory (not owned).
class MemoryImageSource final : public ImageSource {
 public:
  MemoryImageSource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint64_t Size() const override { return size_; }
  bool ReadAt(uint64_t offset, void* out, size_t count) const override;

 private:
  const uint8_t* data_;
  size_t size_;
};

// The raw version resource of the image, or nullopt when the image is not a
// well-formed PE file or carries no version resource (or a larger one than
// kMaxVersionResourceSize).
std::optional<std::vector<uint8_t>> ReadVersionResource(const ImageSource& image);

// The parsed version resource of the PE file at `path` (a regular file;
// devices, pipes and folders are refused without being read).
std::optional<VersionInfoBlock> ReadFileVersionInfo(const std::string& path);

}  // namespace qx::detect

#include "detect/pe_version_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

namespace qx::detect {

namespace {

constexpr uint64_t kDosHeaderSize = 64;
constexpr uint64_t kNewHeaderOffsetField = 0x3C;
constexpr uint64_t kFileHeaderSize = 24;  // "PE\0\0" and the COFF header
constexpr uint16_t kPe32Magic = 0x10B;
constexpr uint16_t kPe32PlusMagic = 0x20B;
constexpr uint32_t kResourceDirectoryIndex = 2;
constexpr uint16_t kMaxSections = 96;  // the image loader's own limit
constexpr uint64_t kSectionHeaderSize = 40;
constexpr uint64_t kResourceDirectorySize = 16;
constexpr uint64_t kResourceEntrySize = 8;
constexpr uint64_t kResourceDataEntrySize = 16;
constexpr uint32_t kVersionResourceType = 16;  // RT_VERSION
constexpr uint32_t kHighBit = 0x80000000u;

uint16_t Word(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Dword(const uint8_t* p) {
  return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

struct Section {
  uint32_t virtualAddress = 0;
  uint32_t rawSize = 0;
  uint32_t rawOffset = 0;
};

// The image seen through its section table: relative virtual addresses are
// turned into file offsets, and a range is only read when it lies wholly
// inside one section's raw data and inside the file.
class MappedImage {
 public:
  MappedImage(const ImageSource& source, std::vector<Section> sections)
      : source_(source), sections_(std::move(sections)) {}

  bool ReadRva(uint32_t rva, void* out, size_t count) const {
    for (const Section& s : sections_) {
      if (rva < s.virtualAddress) continue;
      const uint64_t delta = uint64_t{rva} - s.virtualAddress;
      if (delta >= s.rawSize || count > s.rawSize - delta) continue;
      return source_.ReadAt(uint64_t{s.rawOffset} + delta, out, count);
    }
    return false;
  }

 private:
  const ImageSource& source_;
  std::vector<Section> sections_;
};

struct DirectoryEntry {
  uint32_t name = 0;
  uint32_t offset = 0;
  bool IsSubdirectory() const { return (offset & kHighBit) != 0; }
  uint32_t Target() const { return offset & ~kHighBit; }
};

// The resource directory: every offset in it is relative to its start and
// must stay inside its declared size.
class ResourceDirectory {
 public:
  ResourceDirectory(const MappedImage& image, uint32_t rva, uint32_t size)
      : image_(image), rva_(rva), size_(size) {}

  // The entries of the directory table at `offset` (named ones first, as
  // stored).
  std::optional<std::vector<DirectoryEntry>> Entries(uint32_t offset) const {
    uint8_t header[kResourceDirectorySize];
    if (!Read(offset, header, sizeof header)) return std::nullopt;
    const uint32_t count = uint32_t{Word(header + 12)} + Word(header + 14);
    if (count == 0) return std::nullopt;
    // At most 131070 entries of 8 bytes: about 1 MiB, and never more than
    // the directory's declared size, which Read checks.
    std::vector<uint8_t> raw(count * kResourceEntrySize);
    if (!Read(uint64_t{offset} + kResourceDirectorySize, raw.data(), raw.size())) {
      return std::nullopt;
    }
    std::vector<DirectoryEntry> entries(count);
    for (uint32_t i = 0; i < count; ++i) {
      entries[i].name = Dword(&raw[i * kResourceEntrySize]);
      entries[i].offset = Dword(&raw[i * kResourceEntrySize + 4]);
    }
    return entries;
  }

  bool Read(uint64_t offset, void* out, size_t count) const {
    if (offset > size_ || count > size_ - offset) return false;
    const uint64_t rva = rva_ + offset;
    if (rva > UINT32_MAX) return false;
    return image_.ReadRva(static_cast<uint32_t>(rva), out, count);
  }

 private:
  const MappedImage& image_;
  uint32_t rva_;
  uint32_t size_;
};

std::optional<std::vector<uint8_t>> ReadVersionData(const MappedImage& image, uint32_t rva,
                                                    uint32_t size) {
  ResourceDirectory directory(image, rva, size);

  // Level 1: the type. Only a numeric entry 16 counts; named ones are skipped.
  auto types = directory.Entries(0);
  if (!types) return std::nullopt;
  const DirectoryEntry* versionType = nullptr;
  for (const DirectoryEntry& e : *types) {
    if ((e.name & kHighBit) == 0 && e.name == kVersionResourceType) {
      versionType = &e;
      break;
    }
  }
  if (!versionType || !versionType->IsSubdirectory()) return std::nullopt;

  // Level 2: the first name; level 3: its first language, which must be a
  // data entry. Three fixed steps: no path back to an earlier table.
  auto names = directory.Entries(versionType->Target());
  if (!names || !names->front().IsSubdirectory()) return std::nullopt;
  auto languages = directory.Entries(names->front().Target());
  if (!languages || languages->front().IsSubdirectory()) return std::nullopt;

  uint8_t dataEntry[kResourceDataEntrySize];
  if (!directory.Read(languages->front().Target(), dataEntry, sizeof dataEntry)) {
    return std::nullopt;
  }
  const uint32_t dataRva = Dword(dataEntry);
  const uint32_t dataSize = Dword(dataEntry + 4);
  if (dataSize == 0 || dataSize > kMaxVersionResourceSize) return std::nullopt;
  std::vector<uint8_t> data(dataSize);
  if (!image.ReadRva(dataRva, data.data(), data.size())) return std::nullopt;
  return data;
}

// A regular file read with pread; it never reads more than it is asked for.
class FileImageSource final : public ImageSource {
 public:
  FileImageSource(int fd, uint64_t size) : fd_(fd), size_(size) {}
  uint64_t Size() const override { return size_; }
  bool ReadAt(uint64_t offset, void* out, size_t count) const override {
    if (offset > size_ || count > size_ - offset) return false;
    auto* bytes = static_cast<uint8_t*>(out);
    while (count > 0) {
      const ssize_t got = pread(fd_, bytes, count, static_cast<off_t>(offset));
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) return false;
      bytes += got;
      offset += static_cast<uint64_t>(got);
      count -= static_cast<size_t>(got);
    }
    return true;
  }

 private:
  int fd_;
  uint64_t size_;
};

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int Get() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

bool MemoryImageSource::ReadAt(uint64_t offset, void* out, size_t count) const {
  if (offset > size_ || count > size_ - offset) return false;
  if (count > 0) std::memcpy(out, data_ + offset, count);
  return true;
}

std::optional<std::vector<uint8_t>> ReadVersionResource(const ImageSource& image) {
  uint8_t dos[kDosHeaderSize];
  if (!image.ReadAt(0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') return std::nullopt;
  const uint64_t peOffset = Dword(dos + kNewHeaderOffsetField);

  uint8_t fileHeader[kFileHeaderSize];
  if (!image.ReadAt(peOffset, fileHeader, sizeof fileHeader) ||
      std::memcmp(fileHeader, "PE\0\0", 4) != 0) {
    return std::nullopt;
  }
  const uint16_t sectionCount = Word(fileHeader + 6);
  const uint16_t optionalHeaderSize = Word(fileHeader + 20);
  if (sectionCount == 0 || sectionCount > kMaxSections) return std::nullopt;

  // The optional header: its magic says where the data directories start.
  const uint64_t optionalOffset = peOffset + kFileHeaderSize;
  uint8_t magicBytes[2];
  if (optionalHeaderSize < 2 || !image.ReadAt(optionalOffset, magicBytes, 2)) return std::nullopt;
  const uint16_t magic = Word(magicBytes);
  uint64_t countField = 0;
  if (magic == kPe32Magic) {
    countField = 92;
  } else if (magic == kPe32PlusMagic) {
    countField = 108;
  } else {
    return std::nullopt;
  }
  const uint64_t directoryOffset = countField + 4 + uint64_t{kResourceDirectoryIndex} * 8;
  if (optionalHeaderSize < directoryOffset + 8) return std::nullopt;
  uint8_t countBytes[4];
  uint8_t resourceDirectory[8];
  if (!image.ReadAt(optionalOffset + countField, countBytes, 4) ||
      Dword(countBytes) <= kResourceDirectoryIndex ||
      !image.ReadAt(optionalOffset + directoryOffset, resourceDirectory, 8)) {
    return std::nullopt;
  }
  const uint32_t resourceRva = Dword(resourceDirectory);
  const uint32_t resourceSize = Dword(resourceDirectory + 4);
  if (resourceRva == 0 || resourceSize < kResourceDirectorySize) return std::nullopt;

  // The section table follows the optional header.
  std::vector<uint8_t> table(sectionCount * kSectionHeaderSize);
  if (!image.ReadAt(optionalOffset + optionalHeaderSize, table.data(), table.size())) {
    return std::nullopt;
  }
  std::vector<Section> sections(sectionCount);
  for (uint16_t i = 0; i < sectionCount; ++i) {
    const uint8_t* header = &table[i * kSectionHeaderSize];
    sections[i].virtualAddress = Dword(header + 12);
    sections[i].rawSize = Dword(header + 16);
    sections[i].rawOffset = Dword(header + 20);
  }
  return ReadVersionData(MappedImage(image, std::move(sections)), resourceRva, resourceSize);
}

std::optional<VersionInfoBlock> ReadFileVersionInfo(const std::string& path) {
  // Non-blocking, so that opening a named pipe cannot hang; anything but a
  // regular file is refused before a byte is read.
  FileDescriptor fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (fd.Get() < 0) return std::nullopt;
  struct stat info {};
  if (fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  FileImageSource source(fd.Get(), static_cast<uint64_t>(info.st_size));
  std::optional<std::vector<uint8_t>> resource = ReadVersionResource(source);
  if (!resource) return std::nullopt;
  return VersionInfoBlock::Parse(std::move(*resource));
}

}  // namespace qx::detect

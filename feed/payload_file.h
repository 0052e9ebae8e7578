// Reading a payload file in bounded memory. The file must be a regular file
// (a FIFO, a device or a directory is refused at once, also behind a link,
// and opening never waits for a writer). Its bytes are read in pieces; for a
// signature, which needs the whole message in one call, they are copied into
// an unnamed temporary file that nobody else changes, and mapped read-only:
// a file changed or cut short while it is checked is then checked exactly as
// it was read, never through a mapping that could fault.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace qx::feed {

class PayloadFile {
 public:
  // Throws PayloadError naming the file when it cannot be opened or is not
  // a regular file.
  explicit PayloadFile(const std::string& path);
  ~PayloadFile();
  PayloadFile(const PayloadFile&) = delete;
  PayloadFile& operator=(const PayloadFile&) = delete;

  const std::string& Path() const { return path_; }
  // The size when it was opened.
  std::uint64_t Size() const { return size_; }

  // Hands the bytes from the start, in pieces, to `piece`, at most `limit`
  // of them; returns how many were read.
  std::uint64_t Read(std::uint64_t limit, const std::function<void(std::string_view)>& piece);

 private:
  std::string path_;
  int fd_ = -1;
  std::uint64_t size_ = 0;
};

// A private read-only copy of up to `limit` bytes of a payload, mapped.
class PayloadSnapshot {
 public:
  // Copies from `file`, handing each piece to `piece` as well. Throws
  // PayloadError when no temporary file can be made or written.
  PayloadSnapshot(PayloadFile& file, std::uint64_t limit,
                  const std::function<void(std::string_view)>& piece);
  ~PayloadSnapshot();
  PayloadSnapshot(const PayloadSnapshot&) = delete;
  PayloadSnapshot& operator=(const PayloadSnapshot&) = delete;

  std::string_view Bytes() const { return {static_cast<const char*>(map_), size_}; }

 private:
  int fd_ = -1;
  void* map_ = nullptr;
  std::size_t size_ = 0;
};

}  // namespace qx::feed

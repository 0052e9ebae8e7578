// The files a download writes: the body's output file, and the copy onto
// the caller's destination.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace qx::net {

// The system's text for an errno value, as UTF-16.
std::u16string ErrnoText(int error);

// A file opened for writing raw bytes, closed when the owner goes. The
// owner holds an exclusive lock on it while it is open, which tells other
// processes that it is being written. Write() answers false with errno set
// on failure.
class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Creates the file or cuts it to its first `keep` bytes, writing on after
  // them. Keeping bytes needs the lock: false with errno EWOULDBLOCK when
  // another writer holds it.
  bool Open(const std::string& path, uint64_t keep = 0);
  bool Write(const void* data, size_t size);
  // Answers false with errno set when the close reports a failed write.
  bool Close();
  bool IsOpen() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

// The ways of copying a file's bytes, cheapest first: sharing the blocks
// (a reflink, where the file system has them), a copy inside the kernel,
// and a copy through a buffer.
enum class CopyWay { Clone, KernelCopy, Buffered };

// Copies `source` onto `destination`, replacing it in one step: the bytes
// go to a new file in the destination's folder, which is flushed to disk and
// renamed over the destination. The copy starts with `first` and falls back
// to the next way where one is not supported. Answers false with errno set
// on failure; the destination is then left as it was.
bool CopyFileReplacing(const std::string& source, const std::string& destination,
                       CopyWay first = CopyWay::Clone);

}  // namespace qx::net

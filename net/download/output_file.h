// The files a download writes: the body's output file, and the copy onto
// the caller's destination.
#pragma once

#include <cstddef>
#include <string>

namespace qx::net {

// The system's text for an errno value, as UTF-16.
std::u16string ErrnoText(int error);

// A file opened for writing raw bytes (created or truncated), closed when
// the owner goes. Write() answers false with errno set on failure.
class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  bool Open(const std::string& path);
  bool Write(const void* data, size_t size);
  // Answers false with errno set when the close reports a failed write.
  bool Close();
  bool IsOpen() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

// Copies `source` onto `destination`, replacing it in one step: the bytes
// go to a new file in the destination's folder, which is flushed to disk and
// renamed over the destination. Answers false with errno set on failure; the
// destination is then left as it was.
bool CopyFileReplacing(const std::string& source, const std::string& destination);

}  // namespace qx::net

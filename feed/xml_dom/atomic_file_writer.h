// Replaces a file so that it is never seen half-written: the new content goes
// to a temporary file in the same folder, is flushed to disk, and is renamed
// over the target in one step. If anything fails, the target keeps its old
// content and the temporary file is removed. A successful save also removes
// the temporary files of earlier saves of the same file that were killed.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace qx::xml {

class AtomicFileWriter {
 public:
  // Creates the temporary file next to `path` (a symbolic link is followed,
  // so the link stays and its target is replaced; in a sticky,
  // world-writable folder only a link owned by the caller or the folder's
  // owner is followed, any other is refused). The file gets the mode of
  // the file it replaces; a new file gets `new_file_mode` when given, and
  // otherwise 0666 less the process umask. Throws DomError on failure.
  AtomicFileWriter(const std::string& path, std::optional<mode_t> new_file_mode);
  ~AtomicFileWriter();

  AtomicFileWriter(const AtomicFileWriter&) = delete;
  AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

  // Buffers data; a write error is remembered and reported by Commit.
  void Write(const void* data, size_t size);

  // Flushes, syncs and renames over the target. Throws DomError on failure,
  // leaving the target unchanged.
  void Commit();

 private:
  std::string ResolveTarget(const std::string& path);
  void Flush();
  [[noreturn]] void Fail(const char* what, int error);

  std::string target_;
  std::string temp_;
  int fd_ = -1;
  int write_error_ = 0;
  std::vector<char> buffer_;
  bool committed_ = false;
};

}  // namespace qx::xml

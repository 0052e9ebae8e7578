// Reads an upload's file into one buffer, checking its kind and size before
// any memory is taken for it.
#include "net/upload/read_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <new>

#include "net/upload/unique_fd.h"
#include "net/upload/upload_error.h"

namespace qx::net {

bool IsFileReadable(const std::string& path) {
  return !path.empty() && ::access(path.c_str(), R_OK) == 0;
}

std::string UnreadableFileMessage(const std::string& path) {
  return "Unable to read file:\n\t" + path;
}

std::string ReadFileIntoMemory(const std::string& path, const ProgressStep& advance) {
  if (advance) advance("Reading file into memory");

  // O_NONBLOCK keeps a FIFO or device at this path from stalling the open;
  // such files are refused right after.
  UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  struct stat info {};
  if (!file.valid() || ::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
    throw UploadError("Unable to open file for reading.\n    " + path);
  }
  if (info.st_size <= 0 || info.st_size > kMaxUploadFileLength) {
    throw UploadError("Unable to read file\n   " + path);
  }
  const auto length = static_cast<size_t>(info.st_size);

  std::string buffer;
  try {
    buffer.resize(length);
  } catch (const std::bad_alloc&) {
    throw UploadError("Out of memory");
  } catch (const std::length_error&) {
    throw UploadError("Out of memory");
  }

  // One read(2) hands out at most about 2 GiB, so read until the length is
  // in, the file ends early, or a read fails.
  size_t got = 0;
  while (got < length) {
    const ssize_t n = ::read(file.get(), buffer.data() + got, length - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  file.Reset();

  if (advance) advance("Done reading file into memory");
  if (got != length) throw UploadError("Unable to read file\n\t" + path);
  return buffer;
}

}  // namespace qx::net

// Raw output files and the replacing copy of a download.
#include "net/download/output_file.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/file_path.h"
#include "qxnet/text.h"

namespace qx::net {

std::u16string ErrnoText(int error) { return Utf8ToUtf16(std::strerror(error)); }

OutputFile::~OutputFile() {
  if (fd_ >= 0) ::close(fd_);
}

bool OutputFile::Open(const std::string& path, uint64_t keep) {
  Close();
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  // Someone else's lock on a file that is only being replaced does not stop
  // the write; bytes to be continued must be nobody else's.
  const bool locked = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
  const int lockError = errno;
  // A file that already has the size kept (a new, empty cache file) is not
  // truncated: on ext4 a truncation to zero makes the close start writing
  // the whole body out on the caller's time.
  struct stat info {};
  const bool sized = ::fstat(fd, &info) == 0 && static_cast<uint64_t>(info.st_size) == keep;
  if ((!locked && keep > 0) || (!sized && ::ftruncate(fd, static_cast<off_t>(keep)) != 0) ||
      ::lseek(fd, static_cast<off_t>(keep), SEEK_SET) < 0) {
    const int error = locked ? errno : lockError;
    ::close(fd);
    errno = error;
    return false;
  }
  fd_ = fd;
  return true;
}

bool OutputFile::Write(const void* data, size_t size) {
  const char* bytes = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t written = ::write(fd_, bytes, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

bool OutputFile::Close() {
  if (fd_ < 0) return true;
  const int result = ::close(fd_);
  fd_ = -1;
  return result == 0;
}

namespace {

bool Unsupported(int error) {
  return error == EXDEV || error == EINVAL || error == ENOSYS || error == EOPNOTSUPP ||
         error == ENOTTY;
}

// Shares `in`'s blocks with the empty file `out` where the file system can
// (a reflink: no bytes are copied). False with errno set otherwise.
bool CloneAll(int in, int out) { return ::ioctl(out, FICLONE, in) == 0; }

// Copies `in` to `out` inside the kernel from the present offsets. False
// with errno set; an unsupported pair of files fails before any byte moved.
bool KernelCopyAll(int in, int out) {
  for (;;) {
    const ssize_t copied = ::copy_file_range(in, nullptr, out, nullptr, size_t{1} << 30, 0);
    if (copied == 0) return true;
    if (copied > 0) continue;
    if (errno != EINTR) return false;
  }
}

// Copies the rest of `in` to `out` through one bounded buffer.
bool BufferedCopyAll(int in, int out) {
  std::vector<char> buffer(size_t{1} << 20);
  for (;;) {
    const ssize_t got = ::read(in, buffer.data(), buffer.size());
    if (got == 0) return true;
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    for (ssize_t done = 0; done < got;) {
      const ssize_t put = ::write(out, buffer.data() + done, static_cast<size_t>(got - done));
      if (put < 0) {
        if (errno == EINTR) continue;
        return false;
      }
      done += put;
    }
  }
}

// Copies every byte of `in` to the empty `out`, starting with `first` and
// going on to the next way while a way is not supported for these files.
bool CopyAll(int in, int out, CopyWay first) {
  if (first == CopyWay::Clone) {
    if (CloneAll(in, out)) return true;
    if (!Unsupported(errno)) return false;
  }
  if (first != CopyWay::Buffered) {
    if (KernelCopyAll(in, out)) return true;
    // copy_file_range refuses a pair of files before it moves a byte, so
    // the buffered copy starts where it would have.
    if (!Unsupported(errno)) return false;
  }
  return BufferedCopyAll(in, out);
}

}  // namespace

bool CopyFileReplacing(const std::string& source, const std::string& destination, CopyWay first) {
  const int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  std::string temporary = FolderOf(destination) + "/.qxnet-copy-XXXXXX";
  const int out = ::mkostemp(temporary.data(), O_CLOEXEC);
  if (out < 0) {
    const int error = errno;
    ::close(in);
    errno = error;
    return false;
  }
  // A replaced file keeps its permissions; a new one gets the usual 0644.
  struct stat existing {};
  const mode_t mode =
      ::stat(destination.c_str(), &existing) == 0 ? (existing.st_mode & 07777) : 0644;
  bool ok = CopyAll(in, out, first) && ::fchmod(out, mode) == 0 && ::fsync(out) == 0;
  int error = errno;
  ::close(in);
  if (::close(out) != 0 && ok) {
    ok = false;
    error = errno;
  }
  if (ok && ::rename(temporary.c_str(), destination.c_str()) != 0) {
    ok = false;
    error = errno;
  }
  if (!ok) {
    ::unlink(temporary.c_str());
    errno = error;
  }
  return ok;
}

}  // namespace qx::net

#include "net/trace_log/log_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace qx::net {
namespace {

// Seconds of a cheap monotonic clock: the path is compared at most this often
// while the open file still has a name.
time_t CoarseSeconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
  return now.tv_sec;
}

}  // namespace

LogFile::~LogFile() { Close(); }

void LogFile::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  path_.clear();
}

bool LogFile::OpenAt(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  struct stat info {};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != geteuid()) {
    ::close(fd);
    return false;
  }
  fd_ = fd;
  path_ = path;
  device_ = info.st_dev;
  inode_ = info.st_ino;
  lastPathCheck_ = CoarseSeconds();
  return true;
}

bool LogFile::StillAtPath(off_t& size) {
  struct stat open {};
  if (fstat(fd_, &open) != 0 || open.st_nlink == 0) return false;
  size = open.st_size;
  const time_t now = CoarseSeconds();
  if (now == lastPathCheck_) return true;
  struct stat named {};
  if (lstat(path_.c_str(), &named) != 0 || named.st_dev != device_ || named.st_ino != inode_) {
    return false;
  }
  lastPathCheck_ = now;
  return true;
}

bool LogFile::WriteAll(const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

void LogFile::Append(const std::string& path,
                     const std::function<std::string(bool empty)>& encode) {
  std::lock_guard<std::mutex> lock(mutex_);
  off_t size = 0;
  if (fd_ >= 0 && (path != path_ || !StillAtPath(size))) Close();
  if (fd_ < 0) {
    if (!OpenAt(path)) return;
    StillAtPath(size);
  }
  if (WriteAll(encode(size == 0))) return;
  // The file may have gone from under the descriptor (a full or removed
  // file system): one more try on the file now at the path.
  Close();
  if (OpenAt(path) && StillAtPath(size)) WriteAll(encode(size == 0));
}

}  // namespace qx::net

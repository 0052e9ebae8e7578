#include "feed/payload_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "feed/payload_crypto.h"

namespace qx::feed {

namespace {

constexpr size_t kPieceSize = size_t{64} * 1024;

[[noreturn]] void Fail(const std::string& what, int error) {
  throw PayloadError(what + ": " + std::strerror(error));
}

std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string TemporaryDirectory() {
  const char* tmp = std::getenv("TMPDIR");
  return tmp && *tmp ? tmp : "/tmp";
}

// An unnamed file beside the payload (same file system, no extra memory on
// a RAM-backed /tmp), else in the temporary directory.
int UnnamedTemporaryFile(const std::string& payloadPath) {
  for (const std::string& directory : {DirectoryOf(payloadPath), TemporaryDirectory()}) {
    const int fd = open(directory.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0) return fd;
  }
  Fail("No temporary file can be made to check the file", errno);
}

void WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      Fail("The temporary copy of the file cannot be written", errno);
    }
    bytes.remove_prefix(static_cast<size_t>(written));
  }
}

}  // namespace

PayloadFile::PayloadFile(const std::string& path) : path_(path) {
  // Non-blocking, so that a FIFO is opened without waiting for a writer
  // and then refused.
  fd_ = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd_ < 0) Fail("The file " + path + " cannot be opened", errno);
  struct stat status {};
  if (fstat(fd_, &status) != 0) {
    const int error = errno;
    close(fd_);
    Fail("The file " + path + " cannot be examined", error);
  }
  if (!S_ISREG(status.st_mode)) {
    close(fd_);
    throw PayloadError("The file " + path + " is not a regular file");
  }
  size_ = static_cast<std::uint64_t>(status.st_size);
}

PayloadFile::~PayloadFile() { close(fd_); }

std::uint64_t PayloadFile::Read(std::uint64_t limit,
                                const std::function<void(std::string_view)>& piece) {
  std::vector<char> buffer(kPieceSize);
  std::uint64_t total = 0;
  while (total < limit) {
    const size_t want = static_cast<size_t>(std::min<std::uint64_t>(buffer.size(), limit - total));
    const ssize_t got = pread(fd_, buffer.data(), want, static_cast<off_t>(total));
    if (got < 0) {
      if (errno == EINTR) continue;
      Fail("The file " + path_ + " cannot be read", errno);
    }
    if (got == 0) break;
    piece(std::string_view(buffer.data(), static_cast<size_t>(got)));
    total += static_cast<std::uint64_t>(got);
  }
  return total;
}

PayloadSnapshot::PayloadSnapshot(PayloadFile& file, std::uint64_t limit,
                                 const std::function<void(std::string_view)>& piece) {
  fd_ = UnnamedTemporaryFile(file.Path());
  try {
    const std::uint64_t copied = file.Read(limit, [&](std::string_view bytes) {
      WriteAll(fd_, bytes);
      piece(bytes);
    });
    size_ = static_cast<size_t>(copied);
    if (size_ > 0) {
      map_ = mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, fd_, 0);
      if (map_ == MAP_FAILED) {
        map_ = nullptr;
        Fail("The temporary copy of the file cannot be mapped", errno);
      }
    }
  } catch (...) {
    close(fd_);
    throw;
  }
}

PayloadSnapshot::~PayloadSnapshot() {
  if (map_) munmap(map_, size_);
  close(fd_);
}

}  // namespace qx::feed

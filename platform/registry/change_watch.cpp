#include "platform/registry/change_watch.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qx::registry {

namespace {

// Database header: bytes 18 and 19 are 2 in write-ahead-log mode, bytes
// 24..27 the file change counter.
constexpr size_t kModeOffset = 18;
constexpr unsigned char kWalMode = 2;
constexpr size_t kChangeCounterOffset = 24;
constexpr size_t kHeaderLength = 100;
// The first copy of the WAL index header (its frame count, checksums and
// salts change with every commit and every restart of the log).
constexpr size_t kWalIndexHeaderLength = 48;
constexpr int kWalIndexRegionSize = 32768;

}  // namespace

void ChangeWatch::Start(sqlite3* db, const std::string& path) {
  Stop();
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  struct stat info;
  void* mapped = MAP_FAILED;
  // The database is never shorter than its header once written; a file
  // still empty is not watched.
  if (fstat(fd, &info) == 0 && info.st_size >= static_cast<off_t>(kHeaderLength))
    mapped = mmap(nullptr, kHeaderLength, PROT_READ, MAP_SHARED, fd, 0);
  close(fd);
  if (mapped == MAP_FAILED) return;
  const auto* header = static_cast<const volatile unsigned char*>(mapped);
  const unsigned char mode = header[kModeOffset];
  const volatile unsigned char* walIndex = nullptr;
  if (mode == kWalMode) {
    // Only asked once the connection has its WAL index, so this never
    // creates one.
    sqlite3_file* file = nullptr;
    void volatile* region = nullptr;
    if (sqlite3_file_control(db, "main", SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK ||
        file == nullptr || file->pMethods == nullptr || file->pMethods->iVersion < 2 ||
        file->pMethods->xShmMap(file, 0, kWalIndexRegionSize, 0, &region) != SQLITE_OK ||
        region == nullptr) {
      munmap(mapped, kHeaderLength);
      return;
    }
    walIndex = static_cast<const volatile unsigned char*>(region);
  }
  header_ = header;
  headerLength_ = kHeaderLength;
  walIndex_ = walIndex;
  mode_ = mode;
}

void ChangeWatch::Stop() {
  if (header_ != nullptr) munmap(const_cast<unsigned char*>(header_), headerLength_);
  header_ = nullptr;
  walIndex_ = nullptr;
}

bool ChangeWatch::Read(Fingerprint& out) const {
  if (header_ == nullptr || header_[kModeOffset] != mode_) return false;
  for (size_t i = 0; i < 4; ++i) out[i] = header_[kChangeCounterOffset + i];
  for (size_t i = 0; i < kWalIndexHeaderLength; ++i)
    out[4 + i] = walIndex_ != nullptr ? walIndex_[i] : 0;
  return true;
}

}  // namespace qx::registry

// The trace log's open file, kept between entries. Before each entry the
// descriptor is checked to still be the file at the log's path: at once when
// the file was removed or replaced by a rename (its link count drops to
// zero), and by comparing device and inode with the path about once a second
// otherwise, and again after a failed write.
#pragma once

#include <sys/types.h>

#include <ctime>
#include <functional>
#include <mutex>
#include <string>

namespace qx::net {

class LogFile {
 public:
  LogFile() = default;
  ~LogFile();
  LogFile(const LogFile&) = delete;
  LogFile& operator=(const LogFile&) = delete;

  // Appends the bytes that `encode` makes (told whether the file is empty)
  // to the file at `path`, opening it when needed. Refuses to follow a
  // symbolic link, creates the file readable by its owner only, and never
  // writes into a file owned by another user or into anything but a regular
  // file. Failures are silent.
  void Append(const std::string& path, const std::function<std::string(bool empty)>& encode);

 private:
  bool OpenAt(const std::string& path);
  void Close();
  // True when the open descriptor is still the file at path_; `size`
  // receives the file's size.
  bool StillAtPath(off_t& size);
  bool WriteAll(const std::string& bytes);

  std::mutex mutex_;
  int fd_ = -1;
  std::string path_;
  dev_t device_ = 0;
  ino_t inode_ = 0;
  time_t lastPathCheck_ = 0;  // coarse monotonic seconds
};

}  // namespace qx::net

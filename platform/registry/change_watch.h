// Notices commits to an open database without a system call, so that a
// cache can ask before every use whether the registry changed.
//
// Every commit changes one of two places that SQLite's file formats
// define: in rollback-journal mode the file change counter in the database
// header (which this watch reads through a read-only mapping of the first
// page), in write-ahead-log mode the header of the shared WAL index (read
// through SQLite's own mapping of it). Both are shared memory, so another
// process's commit is visible at once.
#pragma once

#include <sqlite3.h>

#include <array>
#include <cstddef>
#include <string>

namespace qx::registry {

// The bytes that change with every commit.
using Fingerprint = std::array<unsigned char, 52>;

class ChangeWatch {
 public:
  ChangeWatch() = default;
  ~ChangeWatch() { Stop(); }
  ChangeWatch(const ChangeWatch&) = delete;
  ChangeWatch& operator=(const ChangeWatch&) = delete;

  // Starts watching the database open on `db` (which has read from it, so
  // its WAL index is in place) at `path`. Without a watch (an empty file,
  // no mapping) Read answers false.
  void Start(sqlite3* db, const std::string& path);
  void Stop();
  bool Watching() const { return header_ != nullptr; }

  // The present fingerprint; false when there is no watch, or the journal
  // mode of the database changed since it started.
  bool Read(Fingerprint& out) const;

 private:
  const volatile unsigned char* header_ = nullptr;
  size_t headerLength_ = 0;
  const volatile unsigned char* walIndex_ = nullptr;
  unsigned char mode_ = 0;
};

}  // namespace qx::registry

// Keeping the internet cache within bounds and continuing cut-short
// downloads: listing, clearing and trimming the cache, and the partial
// downloads a later request may complete. Texts are UTF-8; every operation
// sets the last error on failure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qx::inet {

// One committed entry or partial download of the cache.
struct CacheListing {
  std::string url;
  std::string path;          // the file, inside the cache folder
  int64_t size = 0;          // bytes; for a partial download, what its file holds now
  int64_t lastModified = 0;  // FILETIME ticks; 0 for a partial download
  int64_t lastAccess = 0;    // FILETIME ticks of the last use
  bool partial = false;
};

bool ListUrlCache(std::vector<CacheListing>& listing);

// Removes every entry and partial download with its file, except partial
// downloads another process is writing. `removed` counts what went.
bool ClearUrlCache(size_t* removed = nullptr);

// Removes the least recently used entries and partial downloads until their
// files hold at most `limit` bytes together; never the entry of `keepUrl`,
// never a file being written.
bool TrimUrlCache(uint64_t limit, const std::string& keepUrl);

// A download cut short that a range request may complete.
struct PartialDownload {
  std::string path;       // the file, holding the body's first bytes
  std::string validator;  // the ETag, or else the Last-Modified text
  uint64_t total = 0;     // the whole body's length
};

// The partial download of `url` when one is recorded, younger than a week,
// and its file is there and written by nobody. A stale one is removed.
bool FindPartialDownload(const std::string& url, PartialDownload& partial);
// Records `partial` for `url`, replacing (and deleting the file of) an
// earlier one.
bool RecordPartialDownload(const std::string& url, const PartialDownload& partial);
// Removes the record of `url` naming `path`, and the file.
void DropPartialDownload(const std::string& url, const std::string& path);

// Whether a process holds the file open for writing (writers keep an
// exclusive lock on it while they write).
bool IsFileBeingWritten(const std::string& path);

}  // namespace qx::inet

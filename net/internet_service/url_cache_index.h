// The cache index: one SQLite database in the cache folder mapping each URL
// to its file, times, entry type and lock count. Every change is one
// transaction, so several processes may use the cache at once.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "qxnet/platform.h"

namespace qx::inet {

struct CacheRecord {
  std::string url;
  std::string file;  // name inside the cache folder
  std::string extension;
  DWORD entryType = 0;
  int64_t size = 0;
  int64_t lastModified = 0;  // FILETIME ticks
  int64_t expire = 0;
  int64_t lastAccess = 0;
  int64_t lastSync = 0;
  int64_t locks = 0;
  int64_t hits = 0;
};

// Field selection for UpdateCacheRecordTimes (CACHE_ENTRY_*_FC bits).
struct CacheRecordChange {
  DWORD fieldControl = 0;
  DWORD entryType = 0;
  int64_t lastModified = 0;
  int64_t expire = 0;
  int64_t lastAccess = 0;
  int64_t lastSync = 0;
};

// The cache folder (created 0700 when missing), or nullopt with the last
// error set. The folder is made once per process; `recheck` makes it again
// after a caller found it gone.
std::optional<std::string> CacheFolder(bool recheck = false);

// Each operation sets the last error on failure; a URL without an entry is
// ERROR_FILE_NOT_FOUND.
// Reads an entry; with `lock`, adds a lock and counts a hit.
bool ReadCacheRecord(const std::string& url, bool lock, CacheRecord& record);
// Enters a record; `orphaned` receives the replaced entry's file when no
// other entry uses it any more (empty otherwise).
bool WriteCacheRecord(const CacheRecord& record, std::string& orphaned);
bool UnlockCacheRecord(const std::string& url);
bool UpdateCacheRecord(const std::string& url, const CacheRecordChange& change);
// Removes an entry; `orphaned` as for WriteCacheRecord.
bool RemoveCacheRecord(const std::string& url, std::string& orphaned);

}  // namespace qx::inet

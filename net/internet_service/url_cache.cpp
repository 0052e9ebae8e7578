// The internet cache operations: files made by the cache inside its folder,
// entries kept in the index.
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <thread>

#include "net/internet_service/file_remover.h"
#include "net/internet_service/internet_service.h"
#include "net/internet_service/last_error.h"
#include "net/internet_service/url_cache_index.h"
#include "qxnet/text.h"

namespace qx::inet {
namespace {

constexpr size_t kMaxExtension = 8;

std::string ToUtf8(const char16_t* text) { return qx::Utf16ToUtf8(qx::WideView(text)); }

// The extension's leading run of ASCII letters and digits, at most 8 long:
// nothing of a URL can lead the file out of the cache folder.
std::string SafeExtension(const char16_t* extension) {
  std::string safe;
  if (extension == nullptr) return safe;
  const char16_t* c = extension;
  while (*c == u'.') ++c;
  for (; *c != u'\0' && safe.size() < kMaxExtension; ++c) {
    const bool alnum =
        (*c >= u'0' && *c <= u'9') || (*c >= u'a' && *c <= u'z') || (*c >= u'A' && *c <= u'Z');
    if (!alnum) break;
    safe.push_back(static_cast<char>(*c));
  }
  return safe;
}

// Random bytes when the kernel gives none: an engine per thread, seeded from
// the clock, the process and the thread, so that processes and threads draw
// different names.
unsigned char FallbackRandomByte() {
  thread_local std::mt19937 engine(static_cast<std::mt19937::result_type>(
      static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
      static_cast<uint64_t>(getpid()) ^ std::hash<std::thread::id>{}(std::this_thread::get_id())));
  return static_cast<unsigned char>(engine());
}

std::string RandomName() {
  unsigned char bytes[12];
  size_t got = 0;
  while (got < sizeof bytes) {
    const ssize_t n = getrandom(bytes + got, sizeof bytes - got, 0);
    if (n <= 0) {
      if (n < 0 && errno == EINTR) continue;
      // Fallback: still unique through O_EXCL, only less unpredictable.
      for (; got < sizeof bytes; ++got) bytes[got] = FallbackRandomByte();
      break;
    }
    got += static_cast<size_t>(n);
  }
  static const char kHex[] = "0123456789abcdef";
  std::string name;
  for (unsigned char b : bytes) {
    name.push_back(kHex[b >> 4]);
    name.push_back(kHex[b & 0xF]);
  }
  return name;
}

// The name of `path` inside the cache folder when it is a regular file
// directly in it (not a link), else empty.
std::string NameInsideCache(const std::string& folder, const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return std::string();
  std::string name = path.substr(slash + 1);
  if (name.empty() || name == "." || name == ".." || name == "index.db" ||
      name.rfind("index.db", 0) == 0) {
    return std::string();
  }
  // A path spelled with the folder's own name (as the cache makes them) is
  // inside it without resolving either.
  const std::string parent = slash == 0 ? "/" : path.substr(0, slash);
  char resolvedFolder[PATH_MAX];
  char resolvedParent[PATH_MAX];
  if (parent != folder && (realpath(folder.c_str(), resolvedFolder) == nullptr ||
                           realpath(parent.c_str(), resolvedParent) == nullptr ||
                           std::strcmp(resolvedFolder, resolvedParent) != 0)) {
    return std::string();
  }
  struct stat info {};
  if (lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::string();
  return name;
}

void RemoveFile(const std::string& folder, const std::string& name) {
  if (!name.empty()) RemoveUnusedFile(folder + "/" + name);
}

// Packs a record into the caller's entry buffer (texts after the record).
BOOL HandOutEntry(const std::string& folder, const CacheRecord& record,
                  INTERNET_CACHE_ENTRY_INFOW* entry, DWORD* size) {
  const std::u16string url = qx::Utf8ToUtf16(record.url);
  const std::u16string file = qx::Utf8ToUtf16(folder + "/" + record.file);
  const std::u16string extension = qx::Utf8ToUtf16(record.extension);
  const size_t textChars = url.size() + 1 + file.size() + 1 + extension.size() + 1;
  const size_t needed = sizeof(INTERNET_CACHE_ENTRY_INFOW) + textChars * sizeof(char16_t);
  if (entry == nullptr || *size < needed) {
    *size = static_cast<DWORD>(needed);
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memset(entry, 0, needed);
  auto* text = reinterpret_cast<char16_t*>(reinterpret_cast<char*>(entry) + sizeof *entry);
  auto place = [&text](const std::u16string& value) {
    char16_t* start = text;
    std::copy(value.begin(), value.end(), text);
    text[value.size()] = u'\0';
    text += value.size() + 1;
    return start;
  };
  entry->dwStructSize = sizeof *entry;
  entry->lpszSourceUrlName = place(url);
  entry->lpszLocalFileName = place(file);
  entry->lpszFileExtension = place(extension);
  entry->CacheEntryType = record.entryType;
  entry->dwUseCount = static_cast<DWORD>(record.locks);
  entry->dwHitRate = static_cast<DWORD>(record.hits);
  entry->dwSizeLow = static_cast<DWORD>(static_cast<uint64_t>(record.size) & 0xFFFFFFFFu);
  entry->dwSizeHigh = static_cast<DWORD>(static_cast<uint64_t>(record.size) >> 32);
  entry->LastModifiedTime = FileTimeFromInt64(record.lastModified);
  entry->ExpireTime = FileTimeFromInt64(record.expire);
  entry->LastAccessTime = FileTimeFromInt64(record.lastAccess);
  entry->LastSyncTime = FileTimeFromInt64(record.lastSync);
  *size = static_cast<DWORD>(needed);
  return TRUE;
}

bool ValidUrl(const char16_t* url) {
  if (url != nullptr && *url != u'\0') return true;
  SetLastError(ERROR_INVALID_PARAMETER);
  return false;
}

}  // namespace

BOOL CreateUrlCacheEntryW(const char16_t* url, DWORD /*expectedFileSize*/,
                          const char16_t* fileExtension, char16_t* fileName, DWORD /*reserved*/) {
  if (!ValidUrl(url) || fileName == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const std::optional<std::string> folder = CacheFolder();
  if (!folder) return FALSE;
  const std::string extension = SafeExtension(fileExtension);
  for (int attempt = 0; attempt < 16; ++attempt) {
    std::string path = *folder + "/" + RandomName();
    if (!extension.empty()) path += "." + extension;
    const std::u16string wide = qx::Utf8ToUtf16(path);
    if (wide.size() > MAX_PATH) {
      SetLastErrorDetail(ERROR_FILENAME_EXCED_RANGE, "The cache folder's path is too long");
      return FALSE;
    }
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      // The folder was removed since this process made it.
      if (errno == ENOENT && attempt == 0 && CacheFolder(true)) continue;
      SetLastErrorFromErrno(errno);
      return FALSE;
    }
    close(fd);
    std::copy(wide.begin(), wide.end(), fileName);
    fileName[wide.size()] = u'\0';
    return TRUE;
  }
  SetLastErrorDetail(ERROR_INTERNET_INTERNAL_ERROR, "No unused cache file name was found");
  return FALSE;
}

BOOL CommitUrlCacheEntryW(const char16_t* url, const char16_t* localFileName, FILETIME expireTime,
                          FILETIME lastModifiedTime, DWORD cacheEntryType,
                          const char16_t* /*headerInfo*/, DWORD /*headerInfoLength*/,
                          const char16_t* fileExtension, const char16_t* /*originalUrl*/) {
  if (!ValidUrl(url)) return FALSE;
  const std::optional<std::string> folder = CacheFolder();
  if (!folder) return FALSE;
  CacheRecord record;
  record.url = ToUtf8(url);
  if (localFileName != nullptr && *localFileName != u'\0') {
    const std::string path = ToUtf8(localFileName);
    record.file = NameInsideCache(*folder, path);
    if (record.file.empty()) {
      SetLastErrorDetail(ERROR_INVALID_PARAMETER, "The file is not a file of the cache: " + path);
      return FALSE;
    }
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
      SetLastErrorFromErrno(errno);
      return FALSE;
    }
    record.size = info.st_size;
  } else {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const size_t dot = record.file.find('.');
  record.extension = fileExtension != nullptr
                         ? SafeExtension(fileExtension)
                         : (dot == std::string::npos ? "" : record.file.substr(dot + 1));
  record.entryType = cacheEntryType;
  record.lastModified = FileTimeToInt64(lastModifiedTime);
  record.expire = FileTimeToInt64(expireTime);
  record.lastAccess = FileTimeToInt64(GetSystemTimeAsFileTime());
  record.lastSync = record.lastAccess;
  std::string orphaned;
  if (!WriteCacheRecord(record, orphaned)) return FALSE;
  RemoveFile(*folder, orphaned);
  return TRUE;
}

BOOL RetrieveUrlCacheEntryFileW(const char16_t* url, INTERNET_CACHE_ENTRY_INFOW* entry, DWORD* size,
                                DWORD /*reserved*/) {
  if (!ValidUrl(url)) return FALSE;
  if (size == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const std::optional<std::string> folder = CacheFolder();
  if (!folder) return FALSE;
  CacheRecord record;
  // The size query takes no lock; only a retrieval that hands the entry out does.
  if (!ReadCacheRecord(ToUtf8(url), false, record)) return FALSE;
  DWORD needed = 0;
  HandOutEntry(*folder, record, nullptr, &needed);
  if (entry == nullptr || needed > *size) {
    *size = needed;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  if (!ReadCacheRecord(ToUtf8(url), true, record)) return FALSE;
  if (HandOutEntry(*folder, record, entry, size)) return TRUE;
  // Replaced meanwhile by an entry that needs more room: give the lock back.
  const DWORD failure = GetLastError();
  UnlockCacheRecord(record.url);
  SetLastError(failure);
  return FALSE;
}

BOOL UnlockUrlCacheEntryFileW(const char16_t* url, DWORD /*reserved*/) {
  if (!ValidUrl(url)) return FALSE;
  return UnlockCacheRecord(ToUtf8(url)) ? TRUE : FALSE;
}

BOOL GetUrlCacheEntryInfoExW(const char16_t* url, INTERNET_CACHE_ENTRY_INFOW* entry, DWORD* size,
                             char16_t* /*redirectUrl*/, DWORD* /*redirectUrlLength*/,
                             void* /*reserved*/, DWORD /*flags*/) {
  if (!ValidUrl(url)) return FALSE;
  if (size == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const std::optional<std::string> folder = CacheFolder();
  if (!folder) return FALSE;
  CacheRecord record;
  if (!ReadCacheRecord(ToUtf8(url), false, record)) return FALSE;
  return HandOutEntry(*folder, record, entry, size);
}

BOOL SetUrlCacheEntryInfoW(const char16_t* url, const INTERNET_CACHE_ENTRY_INFOW* entry,
                           DWORD fieldControl) {
  if (!ValidUrl(url)) return FALSE;
  if (entry == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  CacheRecordChange change;
  change.fieldControl = fieldControl;
  change.entryType = entry->CacheEntryType;
  change.lastModified = FileTimeToInt64(entry->LastModifiedTime);
  change.expire = FileTimeToInt64(entry->ExpireTime);
  change.lastAccess = FileTimeToInt64(entry->LastAccessTime);
  change.lastSync = FileTimeToInt64(entry->LastSyncTime);
  return UpdateCacheRecord(ToUtf8(url), change) ? TRUE : FALSE;
}

BOOL DeleteUrlCacheEntryW(const char16_t* url) {
  if (!ValidUrl(url)) return FALSE;
  const std::optional<std::string> folder = CacheFolder();
  if (!folder) return FALSE;
  std::string orphaned;
  if (!RemoveCacheRecord(ToUtf8(url), orphaned)) return FALSE;
  RemoveFile(*folder, orphaned);
  return TRUE;
}

}  // namespace qx::inet

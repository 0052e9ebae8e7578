// The internet-cache queries behind GetCacheInfo: whether an entry exists,
// whether it is still current on the server, its local file, whether that
// file can be read, and removing the entry.
#include "net/cache/cache_entry_queries.h"

#include <unistd.h>

#include "net/cache/cache_entry_buffer.h"
#include "net/cache/modified_time.h"
#include "net/request_pipeline/error_message.h"
#include "net/request_pipeline/trace_text.h"
#include "net/trace_log/trace_log.h"
#include "qxnet/text.h"

namespace qx::net {

bool GetCachedFileExists(const UrlParts& parts) {
  WriteLog(u"CQXNet::GetCachedFileExists(" + parts.canonicalUrl + u")");
  inet::SetLastError(0);
  // The record alone: an entry whose texts do not fit still answers, with
  // "buffer too small", and so counts as present.
  CacheEntryBuffer buffer(sizeof(inet::INTERNET_CACHE_ENTRY_INFOW));
  const bool exists = inet::GetUrlCacheEntryInfoExW(parts.canonicalUrl.c_str(), buffer.entry(),
                                                    buffer.size(), nullptr, nullptr, nullptr, 0) ||
                      inet::GetLastError() != ERROR_FILE_NOT_FOUND;
  WriteLog(u"CQXNet::GetCachedFileExists return: " + std::u16string(TrueFalseText(exists)));
  return exists;
}

bool IsCacheCurrent(TransferState& transfer, const UrlParts& parts, HWND parent) {
  WriteLog(u"CQXNet::IsCacheCurrent(" + parts.canonicalUrl + u"," +
           DecimalText(static_cast<long long>(reinterpret_cast<intptr_t>(parent))) + u")");
  const char16_t* url = parts.canonicalUrl.c_str();

  inet::SetLastError(0);
  DWORD size = 0;
  if (!inet::GetUrlCacheEntryInfoExW(url, nullptr, &size, nullptr, nullptr, nullptr, 0) &&
      inet::GetLastError() == ERROR_FILE_NOT_FOUND) {
    WriteLog(u"CQXNet::IsCacheCurrent return : file not found");
    return false;
  }
  inet::FILETIME entryModified{};
  {
    CacheEntryBuffer buffer(size);
    if (!inet::GetUrlCacheEntryInfoExW(url, buffer.entry(), buffer.size(), nullptr, nullptr,
                                       nullptr, 0)) {
      WriteLog(u"CQXNet::IsCacheCurrent return : unable to call GetUrlCacheEntryInfoEx");
      return false;
    }
    entryModified = buffer.entry()->LastModifiedTime;
  }

  // The entry is stamped as checked before the server is asked.
  inet::INTERNET_CACHE_ENTRY_INFOW stamp{};
  stamp.dwStructSize = sizeof(stamp);
  stamp.LastSyncTime = inet::GetSystemTimeAsFileTime();
  if (!inet::SetUrlCacheEntryInfoW(url, &stamp, inet::CACHE_ENTRY_SYNCTIME_FC)) {
    std::u16string message = u"Unable to set sync time\n   " + parts.canonicalUrl + u"\n";
    GetErrorMessage(message);
    WriteLog(u"CQXNet::IsCacheCurrent:" + message);
    throw CQXNetException(message);
  }

  bool current = false;
  SYSTEMTIME serverTime{};
  if (GetModifiedTime(transfer, parts, serverTime, parent)) {
    inet::FILETIME serverModified{};
    if (!inet::SystemTimeToFileTime(&serverTime, &serverModified)) {
      std::u16string message = u"Unable to get modified time\n    " + parts.canonicalUrl + u"\n";
      GetErrorMessage(message);
      WriteLog(u"CQXNet::IsCacheCurrent:" + message);
      throw CQXNetException(message);
    }
    // Equal times count as current.
    current = inet::FileTimeToInt64(serverModified) <= inet::FileTimeToInt64(entryModified);
  }
  WriteLog(u"CQXNet::IsCacheCurrent return : " + std::u16string(TrueFalseText(current)));
  return current;
}

void GetCachedFile(const UrlParts& parts, std::u16string& path) {
  WriteLog(u"CQXNet::GetCachedFile(" + parts.canonicalUrl + u")");
  const char16_t* url = parts.canonicalUrl.c_str();

  DWORD size = 0;
  if (!inet::RetrieveUrlCacheEntryFileW(url, nullptr, &size, 0) &&
      inet::GetLastError() == ERROR_FILE_NOT_FOUND) {
    std::u16string message = u"File does not exist in cache:\n    " + parts.canonicalUrl + u"\n";
    GetErrorMessage(message);
    WriteLog(u"CQXNet::GetCachedFile:" + message);
    throw CQXNetException(message);
  }
  if (size != 0) {
    CacheEntryBuffer buffer(size);
    // A successful retrieval locks the entry; the lock is ours to release,
    // and only then (a failed one took none, and releasing anyway would
    // drop somebody else's).
    if (inet::RetrieveUrlCacheEntryFileW(url, buffer.entry(), buffer.size(), 0)) {
      if (const char16_t* local = buffer.entry()->lpszLocalFileName) path = local;
      inet::UnlockUrlCacheEntryFileW(url, 0);
    }
  }
  WriteLog(u"CQXNet::GetCachedFile return : " + path);
}

bool ValidateCacheEntry(const UrlParts& parts) {
  WriteLog(u"CQXNet::ValidateCacheEntry(" + parts.canonicalUrl + u")");
  const char16_t* url = parts.canonicalUrl.c_str();
  // The file the entry names now, read without locking the entry.
  std::u16string path;
  DWORD size = 0;
  if (!inet::GetUrlCacheEntryInfoExW(url, nullptr, &size, nullptr, nullptr, nullptr, 0) &&
      size != 0) {
    CacheEntryBuffer buffer(size);
    if (inet::GetUrlCacheEntryInfoExW(url, buffer.entry(), buffer.size(), nullptr, nullptr, nullptr,
                                      0) &&
        buffer.entry()->lpszLocalFileName) {
      path = buffer.entry()->lpszLocalFileName;
    }
  }
  const bool valid = !path.empty() && ::access(Utf16ToUtf8(path).c_str(), R_OK) == 0;
  if (!valid) inet::DeleteUrlCacheEntryW(url);
  WriteLog(u"CQXNet::ValidateCacheEntry return : " + std::u16string(TrueFalseText(valid)));
  return valid;
}

void DeleteCacheEntry(const UrlParts& parts) {
  WriteLog(u"CQXNet::DeleteCacheEntry(" + parts.canonicalUrl + u")");
  inet::DeleteUrlCacheEntryW(parts.canonicalUrl.c_str());
  WriteLog(u"CQXNet::DeleteCacheEntry return");
}

}  // namespace qx::net

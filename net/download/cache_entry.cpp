// The internet-cache side of a download: a new cache file for the URL, and
// the commit that records it once the body is complete and then keeps the
// cache within its size limit.
#include "net/download/cache_entry.h"

#include "net/cache/cache_limit.h"
#include "net/download/cache_extension.h"
#include "net/internet_service/url_cache_admin.h"
#include "net/request_pipeline/error_message.h"
#include "net/request_pipeline/qxnet_exception.h"
#include "net/trace_log/trace_log.h"
#include "qxnet/text.h"

namespace qx::net {

void GetCacheNewFileName(const UrlParts& parts, std::u16string& path) {
  WriteLog(u"CQXNet::GetCacheNewFileName(" + parts.canonicalUrl + u")");
  path.clear();
  const std::u16string extension = CacheExtensionOfUrl(parts.canonicalUrl);
  char16_t buffer[inet::MAX_PATH + 1] = {};
  if (inet::CreateUrlCacheEntryW(parts.canonicalUrl.c_str(), 0, extension.c_str(), buffer, 0)) {
    path = buffer;
    WriteLog(u"CQXNet::GetCacheNewFileName return : " + path);
    return;
  }
  std::u16string message =
      u"Unable to create cache entry for file:\n    " + parts.canonicalUrl + u"\n";
  GetErrorMessage(message);
  WriteLog(u"CQXNet::GetCacheNewFileName:" + message);
  throw CQXNetException(message);
}

void CommitCacheEntry(const UrlParts& parts, const std::u16string& path,
                      inet::FILETIME lastModified) {
  WriteLog(u"CQXNet::CommitCacheEntry(" + parts.canonicalUrl + u"," + path + u")");
  if (!inet::CommitUrlCacheEntryW(parts.canonicalUrl.c_str(), path.c_str(), lastModified,
                                  lastModified, inet::NORMAL_CACHE_ENTRY, nullptr, 0, nullptr,
                                  nullptr)) {
    std::u16string text;
    GetErrorMessage(text);
    WriteLog(u"CQXNet::CommitCacheEntry : " + text);
  } else {
    // Least recently used entries go until the cache is within its limit;
    // the one just committed stays whatever its size.
    const CacheLimit limit = ReadCacheLimit();
    if (!limit.problem.empty()) {
      WriteLog(u"CQXNet::CommitCacheEntry: " + Utf8ToUtf16(limit.problem));
    }
    if (!inet::TrimUrlCache(limit.bytes, Utf16ToUtf8(parts.canonicalUrl))) {
      std::u16string text;
      GetErrorMessage(text);
      WriteLog(u"CQXNet::CommitCacheEntry : " + text);
    }
  }
  WriteLog(u"CQXNet::CommitCacheEntry return");
}

}  // namespace qx::net

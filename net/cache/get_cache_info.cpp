// GetCacheInfo: whether the internet cache holds a copy of a URL, whether
// that copy is still current on the server, and where its local file is.
#include "net/cache/get_cache_info.h"

#include <new>

#include "net/cache/cache_entry_queries.h"
#include "net/cache/use_internet_cache.h"
#include "net/replace_string.h"
#include "net/request_pipeline/send_http_request.h"
#include "net/request_pipeline/trace_text.h"
#include "net/trace_log/trace_log.h"
#include "net/url/online_probe.h"
#include "net/url/parse_url.h"
#include "qxnet/text.h"

namespace qx::net {

HRESULT GetCacheInfo(TransferState& transfer, BSTR url, LONG parentWnd,
                     VARIANT_BOOL* bCacheFileExists, VARIANT_BOOL* bCacheFileCurrent,
                     BSTR* cacheFileName) {
  const std::u16string urlText(BstrView(url));
  WriteLog(u"CQXNet::GetCacheInfo(" + urlText + u"," + DecimalText(parentWnd) + u")");
  if (!bCacheFileExists || !bCacheFileCurrent || !cacheFileName) {
    WriteLog(u"CQXNet::GetCacheInfo:Invalid parameter");
    return transfer.ReportInvalidParameter();
  }

  HRESULT result = S_OK;
  if (!UseInternetCache()) {
    WriteLog(u"CQXNet::GetCacheInfo: registry says do not use cache");
  } else {
    try {
      UrlParts parts;
      ValidateUrl2(urlText, parts);
      const bool exists = GetCachedFileExists(parts);
      *bCacheFileExists = exists ? VARIANT_TRUE : VARIANT_FALSE;
      *bCacheFileCurrent = VARIANT_FALSE;
      // Off line, a copy that exists is reported as such and nothing more.
      if (exists && AttemptInternetConnection(transfer, false)) {
        if (IsCacheCurrent(transfer, parts, WindowFromLong(parentWnd))) {
          *bCacheFileCurrent = VARIANT_TRUE;
        }
        std::u16string path;
        GetCachedFile(parts, path);
        if (!path.empty() && ValidateCacheEntry(parts)) {
          ReplaceString(cacheFileName, path);
        } else {
          *bCacheFileCurrent = VARIANT_FALSE;
          *bCacheFileExists = VARIANT_FALSE;
          DeleteCacheEntry(parts);
        }
      }
    } catch (const CQXNetException& failure) {
      WriteLog(u"CQXNet::GetCacheInfo: " + failure.Message());
      result = transfer.ReportFailure(failure);
    } catch (const std::bad_alloc&) {
      result = E_OUTOFMEMORY;
    }
  }

  WriteLog(u"CQXNet::GetCacheInfo return:bCacheFileExists=" +
           std::u16string(TrueFalseText(*bCacheFileExists == VARIANT_TRUE)) +
           u", bCacheFileCurrent=" +
           std::u16string(TrueFalseText(*bCacheFileCurrent == VARIANT_TRUE)) +
           u", cacheFileName='" + std::u16string(BstrView(*cacheFileName)) + u"'");
  return result;
}

}  // namespace qx::net

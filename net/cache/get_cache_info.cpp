// GetCacheInfo: whether the internet cache holds a copy of a URL, whether
// that copy is still current on the server, and where its local file is.
#include <new>

#include "net/qxnet.h"
#include "net/request_pipeline/trace_text.h"
#include "qxnet/text.h"

namespace qx {

namespace {

// Replaces the caller's string by `text`, freeing the old one.
void ReplaceString(BSTR* target, const std::u16string& text) {
  BSTR replacement = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  if (!replacement) throw std::bad_alloc();
  SysFreeString(*target);
  *target = replacement;
}

}  // namespace

HRESULT STDMETHODCALLTYPE CQXNet::GetCacheInfo(BSTR url, LONG parentWnd,
                                               VARIANT_BOOL* bCacheFileExists,
                                               VARIANT_BOOL* bCacheFileCurrent,
                                               BSTR* cacheFileName) {
  return NoThrow([&]() -> HRESULT {
    const std::u16string urlText(BstrView(url));
    Trace(u"CQXNet::GetCacheInfo(" + urlText + u"," + net::DecimalText(parentWnd) + u")");
    if (!bCacheFileExists || !bCacheFileCurrent || !cacheFileName) {
      Trace(u"CQXNet::GetCacheInfo:Invalid parameter");
      return ReportInvalidParameter();
    }

    HRESULT result = S_OK;
    if (!UseInternetCache()) {
      Trace(u"CQXNet::GetCacheInfo: registry says do not use cache");
    } else {
      try {
        UrlParts parts;
        ValidateUrl2(urlText, parts);
        const bool exists = GetCachedFileExists(parts);
        *bCacheFileExists = exists ? VARIANT_TRUE : VARIANT_FALSE;
        *bCacheFileCurrent = VARIANT_FALSE;
        // Off line, a copy that exists is reported as such and nothing more.
        if (exists && AttemptInternetConnection(false)) {
          if (IsCacheCurrent(parts, WindowFromLong(parentWnd))) {
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
        Trace(u"CQXNet::GetCacheInfo: " + failure.Message());
        result = ReportFailure(failure);
      } catch (const std::bad_alloc&) {
        result = E_OUTOFMEMORY;
      }
    }

    Trace(u"CQXNet::GetCacheInfo return:bCacheFileExists=" +
          std::u16string(net::TrueFalseText(*bCacheFileExists == VARIANT_TRUE)) +
          u", bCacheFileCurrent=" +
          std::u16string(net::TrueFalseText(*bCacheFileCurrent == VARIANT_TRUE)) +
          u", cacheFileName='" + std::u16string(BstrView(*cacheFileName)) + u"'");
    return result;
  });
}

}  // namespace qx

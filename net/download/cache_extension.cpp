#include "net/download/cache_extension.h"

namespace qx::net {

std::u16string CacheExtensionOfUrl(std::u16string_view canonicalUrl) {
  if (canonicalUrl.empty() || canonicalUrl.back() == u'/') return u"tmp";
  const size_t dot = canonicalUrl.rfind(u'.');
  if (dot != std::u16string_view::npos && dot + 1 < canonicalUrl.size()) {
    return std::u16string(canonicalUrl.substr(dot + 1));
  }
  return std::u16string(canonicalUrl);
}

}  // namespace qx::net

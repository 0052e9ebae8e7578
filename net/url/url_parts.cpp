// The file-name part of a URL.
#include "net/url/url_parts.h"

namespace qx::net {

std::u16string FileNameOfUrl(std::u16string_view url) {
  using npos_t = std::u16string_view::size_type;
  const npos_t none = std::u16string_view::npos;
  npos_t backslash = url.rfind(u'\\');
  npos_t colon = url.rfind(u':');
  npos_t slash = url.rfind(u'/');
  npos_t cut = none;
  if (backslash != none) cut = backslash;
  if (colon != none && (cut == none || colon > cut)) cut = colon;
  if (slash != none && (cut == none || slash > cut)) cut = slash;
  if (cut == none) return {};
  return std::u16string(url.substr(cut + 1));
}

}  // namespace qx::net

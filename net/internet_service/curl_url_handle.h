// Small RAII helpers around libcurl's URL API (curl_url) shared by the URL
// canonicaliser, the URL cracker and the request builder.
#pragma once

#include <curl/curl.h>

#include <memory>
#include <optional>
#include <string>

namespace qx::inet {

struct CurlUrlDeleter {
  void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
using CurlUrl = std::unique_ptr<CURLU, CurlUrlDeleter>;

// One part of a parsed URL, or nothing when the URL has no such part.
inline std::optional<std::string> GetUrlPart(CURLU* url, CURLUPart part, unsigned flags = 0) {
  char* text = nullptr;
  if (curl_url_get(url, part, &text, flags) != CURLUE_OK || text == nullptr) return std::nullopt;
  std::string value(text);
  curl_free(text);
  return value;
}

}  // namespace qx::inet

// UrlParts: one URL as the internet-transfer object works with it: the text
// given, its canonical form (the key of every cache operation and the URL of
// every trace line), the file name after its last separator, and the
// components cracked from the canonical form.
#pragma once

#include <string>

#include "net/internet_service/internet_service.h"

namespace qx::net {

struct UrlParts {
  std::u16string canonicalUrl;  // as the canonicaliser returns it
  std::u16string givenUrl;      // exactly as passed in
  std::u16string fileName;      // after the last '/', '\\' or ':'; empty when none
  inet::INTERNET_SCHEME scheme = inet::INTERNET_SCHEME_UNKNOWN;  // 3 http, 4 https
  std::u16string hostName;                                       // empty when the URL has none
  inet::INTERNET_PORT port = 0;  // explicit port or the scheme's default
  std::u16string urlPath;        // path and query; empty when the URL has none

  bool IsHttpOrHttps() const {
    return scheme == inet::INTERNET_SCHEME_HTTP || scheme == inet::INTERNET_SCHEME_HTTPS;
  }
};

// The part of `url` after its last '/', or after the later of its last '\\'
// and last ':' when no '/' follows those; empty when none of the three occurs.
std::u16string FileNameOfUrl(std::u16string_view url);

}  // namespace qx::net

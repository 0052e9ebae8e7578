// InternetCanonicalizeUrlW and InternetCrackUrlW over libcurl's URL API.
#include <algorithm>
#include <cstring>

#include "net/internet_service/curl_url_handle.h"
#include "net/internet_service/internet_service.h"
#include "net/internet_service/last_error.h"
#include "net/internet_service/url_escape.h"
#include "qxnet/text.h"

namespace qx::inet {
namespace {

constexpr unsigned kParseFlags = CURLU_NON_SUPPORT_SCHEME | CURLU_ALLOW_SPACE;

std::string TrimBlanks(std::string_view text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && static_cast<unsigned char>(text[begin]) <= 0x20) ++begin;
  while (end > begin && static_cast<unsigned char>(text[end - 1]) <= 0x20) --end;
  return std::string(text.substr(begin, end - begin));
}

bool StartsWithSchemeIgnoringCase(std::string_view url, std::string_view scheme) {
  if (url.size() <= scheme.size() || url[scheme.size()] != ':') return false;
  for (size_t i = 0; i < scheme.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(url[i])) != scheme[i]) return false;
  }
  return true;
}

std::string LowerAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

DWORD ParseFailureCode(CURLUcode rc) {
  return (rc == CURLUE_BAD_SCHEME || rc == CURLUE_NO_SCHEME || rc == CURLUE_UNSUPPORTED_SCHEME)
             ? ERROR_INTERNET_UNRECOGNIZED_SCHEME
             : ERROR_INTERNET_INVALID_URL;
}

// Reads "\" as "/" before the query in http(s) URLs, as browsers do.
std::string SlashesForBackslashes(std::string url) {
  if (!StartsWithSchemeIgnoringCase(url, "http") && !StartsWithSchemeIgnoringCase(url, "https")) {
    return url;
  }
  for (char& c : url) {
    if (c == '?' || c == '#') break;
    if (c == '\\') c = '/';
  }
  return url;
}

// One pass of canonicalisation: `input` as the parser reads it, host in
// lower case, unsafe characters escaped; or the failure's last-error code.
bool CanonicalizeOnce(std::string_view input, std::string& canonical, DWORD& failure) {
  const std::string text = SlashesForBackslashes(TrimBlanks(input));
  CurlUrl url(curl_url());
  if (!url) {
    failure = ERROR_NOT_ENOUGH_MEMORY;
    return false;
  }
  const CURLUcode rc = curl_url_set(url.get(), CURLUPART_URL, text.c_str(), kParseFlags);
  if (rc != CURLUE_OK) {
    failure = ParseFailureCode(rc);
    return false;
  }
  // Scheme comes back lower-cased from the parser; host does not.
  if (auto host = GetUrlPart(url.get(), CURLUPART_HOST)) {
    if (curl_url_set(url.get(), CURLUPART_HOST, LowerAscii(*host).c_str(), 0) != CURLUE_OK) {
      failure = ERROR_INTERNET_INVALID_URL;
      return false;
    }
  }
  if (!GetUrlPart(url.get(), CURLUPART_PORT, CURLU_NO_DEFAULT_PORT)) {
    curl_url_set(url.get(), CURLUPART_PORT, nullptr, 0);
  }
  if (auto path = GetUrlPart(url.get(), CURLUPART_PATH)) {
    // "file:0//x" parses with the relative path "0//x", which would be written
    // as "file://0//x" and read back as a host: a file URL needs an absolute
    // path, as "file:x" does.
    if (GetUrlPart(url.get(), CURLUPART_SCHEME) == "file" &&
        (path->empty() || path->front() != '/')) {
      failure = ERROR_INTERNET_INVALID_URL;
      return false;
    }
    curl_url_set(url.get(), CURLUPART_PATH, EscapeUnsafeUrlText(*path, false).c_str(), 0);
  }
  if (auto query = GetUrlPart(url.get(), CURLUPART_QUERY)) {
    curl_url_set(url.get(), CURLUPART_QUERY, EscapeUnsafeUrlText(*query, true).c_str(), 0);
  }
  if (auto fragment = GetUrlPart(url.get(), CURLUPART_FRAGMENT)) {
    curl_url_set(url.get(), CURLUPART_FRAGMENT, EscapeUnsafeUrlText(*fragment, true).c_str(), 0);
  }
  auto full = GetUrlPart(url.get(), CURLUPART_URL);
  if (!full) {
    failure = ERROR_INTERNET_INVALID_URL;
    return false;
  }
  canonical = std::move(*full);
  return true;
}

// The canonical form of `input`, which is its own canonical form. The
// parser decodes escapes in a host name before it reads the host, so one
// pass may leave a host that the next pass reads otherwise ("8:/%39" comes
// out as host "9", which reads as the address 0.0.0.9) or not at all ("8:/%7f"
// comes out with a raw control character). The second pass settles the
// first; a first result that does not read back is an invalid URL.
bool Canonicalize(std::string_view input, std::string& canonical, DWORD& failure) {
  std::string once;
  if (!CanonicalizeOnce(input, once, failure)) return false;
  // A URL already in its canonical form (the usual case) would come out of
  // the second pass as it went in.
  if (once == input) {
    canonical = std::move(once);
    return true;
  }
  if (CanonicalizeOnce(once, canonical, failure)) return true;
  failure = failure == ERROR_NOT_ENOUGH_MEMORY ? failure : ERROR_INTERNET_INVALID_URL;
  return false;
}

INTERNET_SCHEME SchemeNumber(const std::string& scheme) {
  if (scheme == "http") return INTERNET_SCHEME_HTTP;
  if (scheme == "https") return INTERNET_SCHEME_HTTPS;
  if (scheme == "ftp") return INTERNET_SCHEME_FTP;
  if (scheme == "file") return INTERNET_SCHEME_FILE;
  if (scheme == "gopher") return INTERNET_SCHEME_GOPHER;
  if (scheme == "news") return INTERNET_SCHEME_NEWS;
  if (scheme == "mailto") return INTERNET_SCHEME_MAILTO;
  return INTERNET_SCHEME_UNKNOWN;
}

const char16_t kRootPath[] = u"/";

size_t FindIgnoringCase(std::u16string_view haystack, std::u16string_view needle, size_t from) {
  auto lower = [](char16_t c) -> char16_t {
    return (c >= u'A' && c <= u'Z') ? c - u'A' + u'a' : c;
  };
  if (needle.size() > haystack.size()) return std::u16string_view::npos;
  for (size_t i = from; i + needle.size() <= haystack.size(); ++i) {
    bool same = true;
    for (size_t j = 0; j < needle.size() && same; ++j)
      same = lower(haystack[i + j]) == lower(needle[j]);
    if (same) return i;
  }
  return std::u16string_view::npos;
}

// Hands one component to the caller: a copy into its buffer, or a pointer
// into the URL text. `at` is where the text starts in the URL, npos if it
// does not occur there literally.
bool DeliverComponent(const std::u16string& value, bool present, char16_t*& pointer, DWORD& length,
                      std::u16string_view url, size_t at, char16_t* urlBase) {
  if (pointer == nullptr && length == 0) return true;  // not asked for
  if (pointer != nullptr) {
    if (value.size() + 1 > length) {
      length = static_cast<DWORD>(value.size() + 1);
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return false;
    }
    std::copy(value.begin(), value.end(), pointer);
    pointer[value.size()] = u'\0';
    length = static_cast<DWORD>(value.size());
    return true;
  }
  if (!present || value.empty()) {
    length = 0;
    return true;
  }
  if (at == std::u16string_view::npos || at + value.size() > url.size()) {
    SetLastErrorDetail(ERROR_INTERNET_INVALID_URL, "URL component is not literally in the URL");
    return false;
  }
  pointer = urlBase + at;
  length = static_cast<DWORD>(value.size());
  return true;
}

}  // namespace

BOOL InternetCanonicalizeUrlW(const char16_t* url, char16_t* buffer, DWORD* bufferLength,
                              DWORD /*flags*/) {
  if (url == nullptr || bufferLength == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::string canonical;
  DWORD failure = 0;
  if (!Canonicalize(qx::Utf16ToUtf8(qx::WideView(url)), canonical, failure)) {
    *bufferLength = 0;
    SetLastError(failure);
    return FALSE;
  }
  const std::u16string wide = qx::Utf8ToUtf16(canonical);
  if (buffer == nullptr || *bufferLength < wide.size() + 1) {
    *bufferLength = static_cast<DWORD>(wide.size() + 1);
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::copy(wide.begin(), wide.end(), buffer);
  buffer[wide.size()] = u'\0';
  *bufferLength = static_cast<DWORD>(wide.size());
  return TRUE;
}

BOOL InternetCrackUrlW(const char16_t* url, DWORD urlLength, DWORD /*flags*/,
                       URL_COMPONENTSW* components) {
  if (url == nullptr || components == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const std::u16string_view source =
      urlLength == 0 ? qx::WideView(url) : std::u16string_view(url, urlLength);
  const std::string text = TrimBlanks(qx::Utf16ToUtf8(source));
  CurlUrl parsed(curl_url());
  if (!parsed) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  const CURLUcode rc =
      curl_url_set(parsed.get(), CURLUPART_URL, text.c_str(), kParseFlags | CURLU_PATH_AS_IS);
  if (rc != CURLUE_OK) {
    SetLastError(ParseFailureCode(rc));
    return FALSE;
  }
  auto part = [&](CURLUPart which, unsigned extra = 0) {
    return GetUrlPart(parsed.get(), which, extra);
  };
  const std::string scheme = part(CURLUPART_SCHEME).value_or("");
  const auto host = part(CURLUPART_HOST);
  const auto user = part(CURLUPART_USER);
  const auto password = part(CURLUPART_PASSWORD);
  const std::string path = part(CURLUPART_PATH).value_or("");
  const auto query = part(CURLUPART_QUERY);
  const auto fragment = part(CURLUPART_FRAGMENT);
  const std::string port = part(CURLUPART_PORT, CURLU_DEFAULT_PORT).value_or("0");

  const bool extraWanted =
      components->lpszExtraInfo != nullptr || components->dwExtraInfoLength != 0;
  std::string urlPath = path;
  std::string extra;
  if (query) (extraWanted ? extra : urlPath) += "?" + *query;
  if (fragment) extra += "#" + *fragment;

  components->nScheme = SchemeNumber(scheme);
  components->nPort = static_cast<INTERNET_PORT>(std::stoul(port));

  const std::u16string wScheme = qx::Utf8ToUtf16(scheme);
  const std::u16string wHost = qx::Utf8ToUtf16(host.value_or(""));
  const std::u16string wUser = qx::Utf8ToUtf16(user.value_or(""));
  const std::u16string wPassword = qx::Utf8ToUtf16(password.value_or(""));
  const std::u16string wPath = qx::Utf8ToUtf16(urlPath);
  const std::u16string wExtra = qx::Utf8ToUtf16(extra);

  // Where each component stands in the caller's text, for pointer answers.
  char16_t* base = const_cast<char16_t*>(source.data());
  size_t lead = 0;
  while (lead < source.size() && source[lead] <= u' ') ++lead;
  const size_t authority = source.find(u"//", lead);
  const size_t hostAt = FindIgnoringCase(
      source, wHost, authority == std::u16string_view::npos ? lead : authority + 2);
  const size_t userAt =
      authority == std::u16string_view::npos ? authority : source.find(wUser, authority + 2);
  const size_t passwordAt =
      userAt == std::u16string_view::npos ? userAt : source.find(wPassword, userAt + wUser.size());
  const size_t afterHost = hostAt == std::u16string_view::npos ? lead : hostAt + wHost.size();
  const size_t pathAt = source.find(wPath, afterHost);
  bool pathDone = false;
  if (pathAt == std::u16string_view::npos && wPath == u"/" && components->lpszUrlPath == nullptr &&
      components->dwUrlPathLength != 0) {
    // "http://h" has the path "/" without writing it.
    components->lpszUrlPath = const_cast<char16_t*>(kRootPath);
    components->dwUrlPathLength = 1;
    pathDone = true;
  }
  const size_t extraAt =
      pathAt == std::u16string_view::npos ? pathAt : source.find(wExtra, pathAt + wPath.size());

  const bool ok =
      DeliverComponent(wScheme, true, components->lpszScheme, components->dwSchemeLength, source,
                       lead, base) &&
      DeliverComponent(wHost, host.has_value(), components->lpszHostName,
                       components->dwHostNameLength, source, hostAt, base) &&
      DeliverComponent(wUser, user.has_value(), components->lpszUserName,
                       components->dwUserNameLength, source, userAt, base) &&
      DeliverComponent(wPassword, password.has_value(), components->lpszPassword,
                       components->dwPasswordLength, source, passwordAt, base) &&
      (pathDone || DeliverComponent(wPath, true, components->lpszUrlPath,
                                    components->dwUrlPathLength, source, pathAt, base)) &&
      DeliverComponent(wExtra, !extra.empty(), components->lpszExtraInfo,
                       components->dwExtraInfoLength, source, extraAt, base);
  return ok ? TRUE : FALSE;
}

}  // namespace qx::inet

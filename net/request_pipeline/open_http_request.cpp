// OpenHttpRequest: one request on a cached connection, with the default
// flags of its verb.
#include <strings.h>

#include "net/qxnet.h"
#include "qxnet/text.h"

namespace qx {

namespace {

// Default flags of a HEAD request: no cache write, keep the connection,
// ignore certificate date and name (the service verifies certificates all
// the same).
constexpr DWORD kHeadFlags = 0x04403000;
// Default flags of any other verb: keep the connection, use the cache if the
// network fails, ignore certificate date and name (not honoured), reload
// when out of date, hold the response in a file.
constexpr DWORD kDefaultFlags = 0x00413810;

bool IsHeadVerb(const char16_t* verb) {
  if (!verb) return false;
  const std::u16string_view text(verb);
  if (text.size() != 4) return false;
  return strncasecmp(Utf16ToUtf8(text).c_str(), "HEAD", 4) == 0;
}

}  // namespace

void CQXNet::OpenHttpRequest(HINTERNET connection, const UrlParts& parts, const char16_t* verb,
                             net::InternetHandleOwner& request, int32_t flags) {
  Trace(u"CQXNet::OpenHttpRequest(" + parts.canonicalUrl + u"," +
        std::u16string(WideView(verb)) + u")");
  AdvanceProgress(u"Opening HTTP session");
  DWORD requestFlags = static_cast<DWORD>(flags);
  if (flags == -1) requestFlags = IsHeadVerb(verb) ? kHeadFlags : kDefaultFlags;
  if (parts.scheme == inet::INTERNET_SCHEME_HTTPS) requestFlags |= inet::INTERNET_FLAG_SECURE;

  static const char16_t* const kAcceptTypes[] = {u"*/*", nullptr};
  request.Put() = inet::HttpOpenRequestW(connection, verb, parts.urlPath.c_str(), u"HTTP/1.1",
                                         nullptr, kAcceptTypes, requestFlags, 0);
  if (request.IsOpen()) {
    AdvanceProgress(u"Opened HTTP session");
    Trace(u"CQXNet::OpenHttpRequest return");
    return;
  }
  std::u16string message = u"Unable to open http request\n";
  GetErrorMessage(message);
  Trace(u"CQXNet::OpenHttpRequest:" + message);
  throw CQXNetException(message);
}

}  // namespace qx

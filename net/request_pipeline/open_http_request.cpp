// OpenHttpRequest: one request on a cached connection, with the default
// flags of its verb.
#include "net/request_pipeline/open_http_request.h"

#include <strings.h>

#include "net/request_pipeline/error_message.h"
#include "net/trace_log/trace_log.h"
#include "qxnet/text.h"

namespace qx::net {

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

void OpenHttpRequest(TransferState& transfer, inet::HINTERNET connection, const UrlParts& parts,
                     const char16_t* verb, InternetHandleOwner& request, int32_t flags) {
  WriteLog(u"CQXNet::OpenHttpRequest(" + parts.canonicalUrl + u"," +
           std::u16string(WideView(verb)) + u")");
  transfer.AdvanceProgress(u"Opening HTTP session");
  DWORD requestFlags = static_cast<DWORD>(flags);
  if (flags == -1) requestFlags = IsHeadVerb(verb) ? kHeadFlags : kDefaultFlags;
  if (parts.scheme == inet::INTERNET_SCHEME_HTTPS) requestFlags |= inet::INTERNET_FLAG_SECURE;

  static const char16_t* const kAcceptTypes[] = {u"*/*", nullptr};
  request.Put() = inet::HttpOpenRequestW(connection, verb, parts.urlPath.c_str(), u"HTTP/1.1",
                                         nullptr, kAcceptTypes, requestFlags, 0);
  if (request.IsOpen()) {
    transfer.AdvanceProgress(u"Opened HTTP session");
    WriteLog(u"CQXNet::OpenHttpRequest return");
    return;
  }
  std::u16string message = u"Unable to open http request\n";
  GetErrorMessage(message);
  WriteLog(u"CQXNet::OpenHttpRequest:" + message);
  throw CQXNetException(message);
}

}  // namespace qx::net

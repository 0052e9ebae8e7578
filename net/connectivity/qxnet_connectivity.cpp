// The connectivity members of QXNet: is the machine on line, does a URL
// answer, is a URL acceptable, and does a host accept TCP connections on a
// port within a time limit.
#include "net/connectivity/connect_probe.h"
#include "net/qxnet.h"
#include "net/request_pipeline/trace_text.h"
#include "qxnet/text.h"

namespace qx {

using net::DecimalText;
using net::TrueFalseText;

HRESULT STDMETHODCALLTYPE CQXNet::get_IsConnected(VARIANT_BOOL* pVal) {
  return NoThrow([&]() -> HRESULT {
    Trace(u"CQXNet::get_IsConnected()");
    if (!pVal) return ReportInvalidParameter();
    try {
      const bool online = !IsGlobalOffline() && AttemptInternetConnection(false);
      *pVal = online ? VARIANT_TRUE : VARIANT_FALSE;
      Trace(u"CQXNet::get_IsConnected return: " + std::u16string(TrueFalseText(online)));
      return S_OK;
    } catch (const CQXNetException& failure) {
      Trace(u"CQXNet::get_IsConnected: " + failure.Message());
      return ReportFailure(failure);
    }
  });
}

HRESULT STDMETHODCALLTYPE CQXNet::CanConnect(BSTR url, VARIANT_BOOL* retVal) {
  return NoThrow([&]() -> HRESULT {
    const std::u16string urlText(BstrView(url));
    Trace(u"CQXNet::CanConnect(" + urlText + u")");
    if (!retVal) return ReportInvalidParameter();
    try {
      // Off line (the user's switch included) nothing is sent at all.
      if (FAILED(get_IsConnected(retVal))) *retVal = VARIANT_FALSE;
      if (*retVal == VARIANT_TRUE) {
        UrlParts parts;
        ValidateUrl2(urlText, parts);
        SYSTEMTIME modified{};
        bool answered = false;
        try {
          answered = GetModifiedTime(parts, modified, nullptr);
        } catch (const CQXNetException& failure) {
          // The server answered the HEAD request, only without a
          // modification time: the URL can be reached all the same.
          static constexpr std::u16string_view kNoTime = u"Unable to get modified time\n";
          if (std::u16string_view(failure.Message()).substr(0, kNoTime.size()) != kNoTime) throw;
          answered = true;
        }
        *retVal = answered ? VARIANT_TRUE : VARIANT_FALSE;
      }
    } catch (...) {
      // Whatever went wrong, the URL cannot be reached; nothing is reported.
      *retVal = VARIANT_FALSE;
    }
    Trace(u"CQXNet::CanConnect return: " + std::u16string(TrueFalseText(*retVal == VARIANT_TRUE)));
    return S_OK;
  });
}

HRESULT STDMETHODCALLTYPE CQXNet::ValidateUrl(BSTR url) {
  return NoThrow([&]() -> HRESULT {
    const std::u16string urlText(BstrView(url));
    Trace(u"CQXNet::ValidateUrl(" + urlText + u")");
    try {
      UrlParts parts;
      ValidateUrl2(urlText, parts);
    } catch (const CQXNetException& failure) {
      Trace(u"CQXNet::ValidateUrl: " + failure.Message());
      return ReportFailure(failure);
    }
    Trace(u"CQXNet::ValidateUrl return");
    return S_OK;
  });
}

HRESULT STDMETHODCALLTYPE CQXNet::AttemptConnect(BSTR host, LONG port, LONG timeoutMilliseconds,
                                                 VARIANT_BOOL* retVal) {
  return NoThrow([&]() -> HRESULT {
    // The arguments are checked before anything is traced.
    const std::string hostText = BstrToUtf8(host);
    if (!retVal || !net::IsValidConnectTarget(hostText, port)) return ReportInvalidParameter();
    Trace(u"CQXNet::AttemptConnect(" + std::u16string(BstrView(host)) + u"," +
          DecimalText(port) + u"," + DecimalText(timeoutMilliseconds) + u")");
    const bool connected =
        net::ConnectWithTimeout(hostText, static_cast<std::uint16_t>(port), timeoutMilliseconds);
    *retVal = connected ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  });
}

}  // namespace qx

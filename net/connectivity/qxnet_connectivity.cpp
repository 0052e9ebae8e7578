// The connectivity members of QXNet: is the machine on line, does a URL
// answer, is a URL acceptable, and does a host accept TCP connections on a
// port within a time limit.
#include "net/connectivity/qxnet_connectivity.h"

#include "net/cache/modified_time.h"
#include "net/connectivity/connect_probe.h"
#include "net/request_pipeline/trace_text.h"
#include "net/trace_log/trace_log.h"
#include "net/url/online_probe.h"
#include "net/url/parse_url.h"
#include "qxnet/text.h"

namespace qx::net {

HRESULT IsConnected(TransferState& transfer, VARIANT_BOOL* pVal) {
  WriteLog(u"CQXNet::get_IsConnected()");
  if (!pVal) return transfer.ReportInvalidParameter();
  try {
    const bool online = !IsGlobalOffline() && AttemptInternetConnection(transfer, false);
    *pVal = online ? VARIANT_TRUE : VARIANT_FALSE;
    WriteLog(u"CQXNet::get_IsConnected return: " + std::u16string(TrueFalseText(online)));
    return S_OK;
  } catch (const CQXNetException& failure) {
    WriteLog(u"CQXNet::get_IsConnected: " + failure.Message());
    return transfer.ReportFailure(failure);
  }
}

HRESULT CanConnect(TransferState& transfer, BSTR url, VARIANT_BOOL* retVal) {
  const std::u16string urlText(BstrView(url));
  WriteLog(u"CQXNet::CanConnect(" + urlText + u")");
  if (!retVal) return transfer.ReportInvalidParameter();
  try {
    // Off line (the user's switch included) nothing is sent at all.
    if (FAILED(IsConnected(transfer, retVal))) *retVal = VARIANT_FALSE;
    if (*retVal == VARIANT_TRUE) {
      UrlParts parts;
      ValidateUrl2(urlText, parts);
      SYSTEMTIME modified{};
      bool answered = false;
      try {
        answered = GetModifiedTime(transfer, parts, modified, nullptr);
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
  WriteLog(u"CQXNet::CanConnect return: " + std::u16string(TrueFalseText(*retVal == VARIANT_TRUE)));
  return S_OK;
}

HRESULT ValidateUrl(TransferState& transfer, BSTR url) {
  const std::u16string urlText(BstrView(url));
  WriteLog(u"CQXNet::ValidateUrl(" + urlText + u")");
  try {
    UrlParts parts;
    ValidateUrl2(urlText, parts);
  } catch (const CQXNetException& failure) {
    WriteLog(u"CQXNet::ValidateUrl: " + failure.Message());
    return transfer.ReportFailure(failure);
  }
  WriteLog(u"CQXNet::ValidateUrl return");
  return S_OK;
}

HRESULT AttemptConnect(TransferState& transfer, BSTR host, LONG port, LONG timeoutMilliseconds,
                       VARIANT_BOOL* retVal) {
  // The arguments are checked before anything is traced.
  const std::string hostText = BstrToUtf8(host);
  if (!retVal || !IsValidConnectTarget(hostText, port)) return transfer.ReportInvalidParameter();
  WriteLog(u"CQXNet::AttemptConnect(" + std::u16string(BstrView(host)) + u"," + DecimalText(port) +
           u"," + DecimalText(timeoutMilliseconds) + u")");
  const bool connected =
      ConnectWithTimeout(hostText, static_cast<std::uint16_t>(port), timeoutMilliseconds);
  *retVal = connected ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

}  // namespace qx::net

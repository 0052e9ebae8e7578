// SendHttpRequest: sends a request, resends when the service asks for it,
// authenticates through the credential provider on 401/407 and turns every
// status but 200 (or 0) into a failure with the status table's text.
#include "net/request_pipeline/send_http_request.h"

#include "net/request_pipeline/error_message.h"
#include "net/request_pipeline/http_status_text.h"
#include "net/request_pipeline/trace_text.h"
#include "net/trace_log/trace_log.h"

namespace qx::net {

void SendHttpRequest(TransferState& transfer, inet::HINTERNET request, const char16_t* headers,
                     const void* body, DWORD bodyLength, HWND parent, bool rangeRequest) {
  WriteLog(u"CQXNet::SendHttpRequest");
  transfer.AdvanceProgress(u"Sending HTTP request");
  bool retryAfterLogin = false;
  int resendsInARow = 0;
  const DWORD headersLength = headers ? static_cast<DWORD>(std::u16string_view(headers).size()) : 0;
  for (;;) {
    if (!inet::HttpSendRequestW(request, headers, headersLength, body, bodyLength)) {
      const DWORD code = inet::GetLastError();
      if ((code == inet::ERROR_INTERNET_FORCE_RETRY || retryAfterLogin) &&
          resendsInARow < kMaxResendsInARow) {
        WriteLog(u"CQXNet::SendHttpRequest:Retry");
        retryAfterLogin = false;
        ++resendsInARow;
        continue;
      }
      std::u16string message =
          u"Unable to send http request : " + DecimalText(static_cast<int32_t>(code)) + u"\n";
      GetErrorMessage(message);
      WriteLog(u"CQXNet::SendHttpRequest:" + message);
      throw CQXNetException(message);
    }
    resendsInARow = 0;

    transfer.AdvanceProgress(u"Getting HTTP status");
    DWORD status = 0;
    DWORD size = sizeof(status);
    if (!inet::HttpQueryInfoW(request, inet::HTTP_QUERY_STATUS_CODE | inet::HTTP_QUERY_FLAG_NUMBER,
                              &status, &size, nullptr)) {
      std::u16string message = u"Unable to query http status code\n";
      GetErrorMessage(message);
      WriteLog(u"CQXNet::SendHttpRequest:" + message);
      throw CQXNetException(message);
    }

    if (status == 401 || status == 407) {
      transfer.AdvanceProgress(u"Authenticating");
      // No desktop window here: the credential provider gets no owner.
      const DWORD answer = inet::InternetErrorDlg(
          parent, request, inet::ERROR_INTERNET_INCORRECT_PASSWORD,
          inet::FLAGS_ERROR_UI_FILTER_FOR_ERRORS | inet::FLAGS_ERROR_UI_FLAGS_CHANGE_OPTIONS |
              inet::FLAGS_ERROR_UI_FLAGS_GENERATE_DATA,
          nullptr);
      if (answer == inet::ERROR_INTERNET_FORCE_RETRY) {
        retryAfterLogin = true;
        continue;
      }
      WriteLog(u"CQXNet::SendHttpRequest : Unable to login");
      throw CQXNetException(u"Unable to login");
    }

    const bool rangeAnswer = rangeRequest && (status == 206 || status == 416);
    if (status == 200 || status == 0 || rangeAnswer) {
      transfer.AdvanceProgress(u"HTTP request sent");
      WriteLog(u"CQXNet::SendHttpRequest return");
      return;
    }

    const std::u16string message = HttpStatusMessage(status);
    WriteLog(u"CQXNet::SendHttpRequest : " + message);
    throw CQXNetException(message);
  }
}

}  // namespace qx::net

// The upload members of QXNet: UploadFile posts a file's bytes through the
// object's own request pipeline and keeps the server's answer in a file;
// UploadFileForm posts the file Base64-encoded as a form through the
// browser stand-in, which goes on by itself after the call has returned.
#include "net/upload/qxnet_upload.h"

#include <unistd.h>

#include <new>

#include "net/download/download_http_data.h"
#include "net/replace_string.h"
#include "net/request_pipeline/internet_handle.h"
#include "net/request_pipeline/open_connection.h"
#include "net/request_pipeline/open_http_request.h"
#include "net/request_pipeline/send_http_request.h"
#include "net/trace_log/trace_log.h"
#include "net/upload/answer_file.h"
#include "net/upload/base64.h"
#include "net/upload/form_navigation.h"
#include "net/upload/post_data.h"
#include "net/upload/read_file.h"
#include "net/upload/staged_answer_file.h"
#include "net/upload/upload_error.h"
#include "net/url/parse_url.h"
#include "qxnet/text.h"

namespace qx::net {

namespace {

constexpr char16_t kUploadContentType[] = u"Content-type: application/x-www-form-urlencoded";

}  // namespace

HRESULT UploadFile(TransferState& transfer, BSTR fileName, BSTR url, LONG parentWnd,
                   BSTR* returnFile) {
  const std::u16string fileText(BstrView(fileName));
  const std::u16string urlText(BstrView(url));
  WriteLog(u"CQXNet::UploadFile(" + fileText + u"," + urlText + u")");
  if (!fileName || urlText.empty()) return transfer.ReportInvalidParameter();
  const std::string filePath = Utf16ToUtf8(fileText);
  if (!IsFileReadable(filePath)) {
    const CQXNetException failure(Utf8ToUtf16(UnreadableFileMessage(filePath)));
    WriteLog(u"CQXNet::UploadFile return : " + failure.Message());
    return transfer.ReportFailure(failure);
  }
  const std::u16string destination(returnFile ? BstrView(*returnFile) : std::u16string_view());

  InternetHandleOwner request;
  // The unique answer file made for this call, removed again unless it is
  // handed to the caller.
  std::string ownAnswer;
  auto discardOwnAnswer = [&] {
    if (!ownAnswer.empty()) ::unlink(ownAnswer.c_str());
    ownAnswer.clear();
  };
  try {
    try {
      transfer.OnProgress(u"Loading library functions", 1);
      UrlParts parts;
      ValidateUrl2(urlText, parts);
      if (!transfer.Session()) OpenInternetAccess(transfer, transfer.Session());
      inet::HINTERNET connection = nullptr;
      OpenInternetConnection(transfer, transfer.Session(), connection, parts);
      OpenHttpRequest(transfer, connection, parts, u"POST", request, -1);
      {
        // The file's bytes live only as long as the send.
        const std::string body = ReadFileIntoMemory(filePath, [&transfer](std::string_view title) {
          transfer.AdvanceProgress(Utf8ToUtf16(title));
        });
        SendHttpRequest(transfer, request.get(), kUploadContentType, body.data(),
                        static_cast<DWORD>(body.size()), WindowFromLong(parentWnd));
      }

      std::u16string resultPath;
      if (!destination.empty()) {
        // The named file is replaced only by a complete answer.
        StagedAnswerFile staged(Utf16ToUtf8(destination));
        DownloadHttpData(transfer, request.get(), Utf8ToUtf16(staged.stagingPath()), true, true);
        staged.Commit();
        resultPath = destination;
      } else {
        AnswerFile answer = CreateUploadAnswerFile();
        ownAnswer = answer.path;
        answer.fd.Reset();
        resultPath = Utf8ToUtf16(answer.path);
        DownloadHttpData(transfer, request.get(), resultPath, true, true);
      }

      if (returnFile) {
        ReplaceString(returnFile, resultPath);
        ownAnswer.clear();  // the caller's now
      } else {
        discardOwnAnswer();
      }
      transfer.OnProgress(u"Upload complete", 100);
    } catch (const UploadError& error) {
      throw CQXNetException(Utf8ToUtf16(error.what()));
    }
    request.Close();
    transfer.FireEnd();
    WriteLog(u"CQXNet::UploadFile return");
    return S_OK;
  } catch (const CQXNetException& failure) {
    transfer.FireEnd();
    WriteLog(u"CQXNet::UploadFile: " + failure.Message());
    request.Close();
    discardOwnAnswer();
    return transfer.ReportFailure(failure);
  } catch (const std::bad_alloc&) {
    transfer.FireEnd();
    request.Close();
    discardOwnAnswer();
    return E_OUTOFMEMORY;
  }
}

HRESULT UploadFileForm(TransferState& transfer, BSTR fileName, BSTR url, LONG /*parentWnd*/,
                       BSTR formFieldName, VARIANT_BOOL displayBrowser) {
  const std::u16string fileText(BstrView(fileName));
  const std::u16string urlText(BstrView(url));
  const std::u16string fieldText(BstrView(formFieldName));
  WriteLog(u"CQXNet::UploadFileForm(" + fileText + u"," + urlText + u"," + fieldText + u")");
  if (!fileName || urlText.empty() || fieldText.empty()) return transfer.ReportInvalidParameter();
  const std::string filePath = Utf16ToUtf8(fileText);
  if (!IsFileReadable(filePath)) {
    const CQXNetException failure(Utf8ToUtf16(UnreadableFileMessage(filePath)));
    WriteLog(u"CQXNet::UploadFileForm return : " + failure.Message());
    return transfer.ReportFailure(failure);
  }

  try {
    try {
      transfer.OnProgress(u"Loading library functions", 1);
      // The browser is handed the URL in its canonical form, and only an
      // http or https URL.
      UrlParts parts;
      ValidateUrl2(urlText, parts);
      FormNavigation navigation;
      {
        std::string data = ReadFileIntoMemory(filePath, [&transfer](std::string_view title) {
          transfer.AdvanceProgress(Utf8ToUtf16(title));
        });
        Base64Data(data);
        PackagePostData(data, Utf16ToUtf8(fieldText), navigation.postData);
      }
      navigation.url = Utf16ToUtf8(parts.canonicalUrl);
      navigation.headers = kFormContentTypeHeader;
      navigation.visible = displayBrowser != 0;
      NavigateWithPostData(navigation);
      // The body is no longer needed once the helper has it.
      std::string().swap(navigation.postData);
      transfer.OnProgress(u"Upload complete", 100);
    } catch (const UploadError& error) {
      throw CQXNetException(Utf8ToUtf16(error.what()));
    }
    transfer.FireEnd();
    WriteLog(u"CQXNet::UploadFileForm return");
    return S_OK;
  } catch (const CQXNetException& failure) {
    transfer.FireEnd();
    WriteLog(u"CQXNet::UploadFileForm: " + failure.Message());
    return transfer.ReportFailure(failure);
  } catch (const std::bad_alloc&) {
    transfer.FireEnd();
    return E_OUTOFMEMORY;
  }
}

}  // namespace qx::net

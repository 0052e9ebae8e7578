// The upload members of QXNet: UploadFile posts a file's bytes through the
// object's own request pipeline and keeps the server's answer in a file;
// UploadFileForm posts the file Base64-encoded as a form through the
// browser stand-in, which goes on by itself after the call has returned.
#include <unistd.h>

#include <new>
#include <optional>

#include "net/qxnet.h"
#include "net/request_pipeline/trace_text.h"
#include "net/upload/answer_file.h"
#include "net/upload/base64.h"
#include "net/upload/form_navigation.h"
#include "net/upload/post_data.h"
#include "net/upload/read_file.h"
#include "net/upload/staged_answer_file.h"
#include "net/upload/upload_error.h"
#include "qxnet/text.h"

namespace qx {

namespace {

constexpr char16_t kUploadContentType[] = u"Content-type: application/x-www-form-urlencoded";

void ReplaceString(BSTR* target, const std::u16string& text) {
  BSTR replacement = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  if (!replacement) throw std::bad_alloc();
  SysFreeString(*target);
  *target = replacement;
}

}  // namespace

HRESULT STDMETHODCALLTYPE CQXNet::UploadFile(BSTR fileName, BSTR url, LONG parentWnd,
                                             BSTR* returnFile) {
  return NoThrow([&]() -> HRESULT {
    const std::u16string fileText(BstrView(fileName));
    const std::u16string urlText(BstrView(url));
    Trace(u"CQXNet::UploadFile(" + fileText + u"," + urlText + u")");
    if (!fileName || urlText.empty()) return ReportInvalidParameter();
    const std::string filePath = Utf16ToUtf8(fileText);
    if (!net::IsFileReadable(filePath)) {
      const CQXNetException failure(Utf8ToUtf16(net::UnreadableFileMessage(filePath)));
      Trace(u"CQXNet::UploadFile return : " + failure.Message());
      return ReportFailure(failure);
    }
    const std::u16string destination(returnFile ? BstrView(*returnFile) : std::u16string_view());

    net::InternetHandleOwner request;
    // The unique answer file made for this call, removed again unless it is
    // handed to the caller.
    std::string ownAnswer;
    auto discardOwnAnswer = [&] {
      if (!ownAnswer.empty()) ::unlink(ownAnswer.c_str());
      ownAnswer.clear();
    };
    try {
      try {
        OnProgress(u"Loading library functions", 1);
        UrlParts parts;
        ValidateUrl2(urlText, parts);
        if (!session_) OpenInternetAccess(session_);
        HINTERNET connection = nullptr;
        OpenInternetConnection(session_, connection, parts);
        OpenHttpRequest(connection, parts, u"POST", request, -1);
        {
          // The file's bytes live only as long as the send.
          const std::string body = net::ReadFileIntoMemory(
              filePath, [this](std::string_view title) { AdvanceProgress(Utf8ToUtf16(title)); });
          SendHttpRequest(request.get(), kUploadContentType, body.data(),
                          static_cast<DWORD>(body.size()), WindowFromLong(parentWnd));
        }

        std::u16string resultPath;
        if (!destination.empty()) {
          // The named file is replaced only by a complete answer.
          net::StagedAnswerFile staged(Utf16ToUtf8(destination));
          DownloadHttpData(request.get(), Utf8ToUtf16(staged.stagingPath()), true, true);
          staged.Commit();
          resultPath = destination;
        } else {
          net::AnswerFile answer = net::CreateUploadAnswerFile();
          ownAnswer = answer.path;
          answer.fd.Reset();
          resultPath = Utf8ToUtf16(answer.path);
          DownloadHttpData(request.get(), resultPath, true, true);
        }

        if (returnFile) {
          ReplaceString(returnFile, resultPath);
          ownAnswer.clear();  // the caller's now
        } else {
          discardOwnAnswer();
        }
        OnProgress(u"Upload complete", 100);
      } catch (const net::UploadError& error) {
        throw CQXNetException(Utf8ToUtf16(error.what()));
      }
      request.Close();
      Fire_End();
      Trace(u"CQXNet::UploadFile return");
      return S_OK;
    } catch (const CQXNetException& failure) {
      Fire_End();
      Trace(u"CQXNet::UploadFile: " + failure.Message());
      request.Close();
      discardOwnAnswer();
      return ReportFailure(failure);
    } catch (const std::bad_alloc&) {
      Fire_End();
      request.Close();
      discardOwnAnswer();
      return E_OUTOFMEMORY;
    }
  });
}

HRESULT STDMETHODCALLTYPE CQXNet::UploadFileForm(BSTR fileName, BSTR url, LONG /*parentWnd*/,
                                                 BSTR formFieldName,
                                                 VARIANT_BOOL displayBrowser) {
  return NoThrow([&]() -> HRESULT {
    const std::u16string fileText(BstrView(fileName));
    const std::u16string urlText(BstrView(url));
    const std::u16string fieldText(BstrView(formFieldName));
    Trace(u"CQXNet::UploadFileForm(" + fileText + u"," + urlText + u"," + fieldText + u")");
    if (!fileName || urlText.empty() || fieldText.empty()) return ReportInvalidParameter();
    const std::string filePath = Utf16ToUtf8(fileText);
    if (!net::IsFileReadable(filePath)) {
      const CQXNetException failure(Utf8ToUtf16(net::UnreadableFileMessage(filePath)));
      Trace(u"CQXNet::UploadFileForm return : " + failure.Message());
      return ReportFailure(failure);
    }

    try {
      try {
        OnProgress(u"Loading library functions", 1);
        // The browser is handed the URL in its canonical form, and only an
        // http or https URL.
        UrlParts parts;
        ValidateUrl2(urlText, parts);
        net::FormNavigation navigation;
        {
          std::string data = net::ReadFileIntoMemory(
              filePath, [this](std::string_view title) { AdvanceProgress(Utf8ToUtf16(title)); });
          net::Base64Data(data);
          net::PackagePostData(data, Utf16ToUtf8(fieldText), navigation.postData);
        }
        navigation.url = Utf16ToUtf8(parts.canonicalUrl);
        navigation.headers = net::kFormContentTypeHeader;
        navigation.visible = displayBrowser != 0;
        net::NavigateWithPostData(navigation);
        // The body is no longer needed once the helper has it.
        std::string().swap(navigation.postData);
        OnProgress(u"Upload complete", 100);
      } catch (const net::UploadError& error) {
        throw CQXNetException(Utf8ToUtf16(error.what()));
      }
      Fire_End();
      Trace(u"CQXNet::UploadFileForm return");
      return S_OK;
    } catch (const CQXNetException& failure) {
      Fire_End();
      Trace(u"CQXNet::UploadFileForm: " + failure.Message());
      return ReportFailure(failure);
    } catch (const std::bad_alloc&) {
      Fire_End();
      return E_OUTOFMEMORY;
    }
  });
}

}  // namespace qx

// DownloadHttpData: reads a response body into a file as it arrives,
// reporting the bytes received so far as progress from the counter at the
// start of the body towards 90.
#include "net/download/download_http_data.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

#include "net/download/output_file.h"
#include "net/request_pipeline/error_message.h"
#include "net/request_pipeline/trace_text.h"
#include "net/trace_log/trace_log.h"
#include "qxnet/text.h"

namespace qx::net {

namespace {

// One read never hands over more than this at once, so that progress is
// reported at least every so often.
constexpr DWORD kLargestRead = 1u << 20;

// The response's content length; false when it has none or it is no number.
bool QueryContentLength(inet::HINTERNET request, uint64_t& length) {
  char16_t text[64] = {};  // 128 bytes
  DWORD size = sizeof(text);
  if (!inet::HttpQueryInfoW(request, inet::HTTP_QUERY_CONTENT_LENGTH, text, &size, nullptr)) {
    return false;
  }
  length = 0;
  for (char16_t c : std::u16string_view(text, size / sizeof(char16_t))) {
    if (c < u'0' || c > u'9') break;
    length = length * 10 + static_cast<uint64_t>(c - u'0');
  }
  return true;
}

// Failures of the connection rather than of the answer: a body cut short by
// one of them may be continued later.
bool IsNetworkFailure(DWORD code) {
  switch (code) {
    case inet::ERROR_INTERNET_TIMEOUT:
    case inet::ERROR_INTERNET_CANNOT_CONNECT:
    case inet::ERROR_INTERNET_CONNECTION_ABORTED:
    case inet::ERROR_INTERNET_CONNECTION_RESET:
    case inet::ERROR_INTERNET_DISCONNECTED:
      return true;
    default:
      return false;
  }
}

}  // namespace

void DownloadHttpData(TransferState& transfer, inet::HINTERNET request,
                      const std::u16string& outputPath, bool querySize, bool showProgress,
                      uint64_t resumeFrom, bool keepWhenCut) {
  WriteLog(u"CQXNet::DownloadHttpData");
  if (showProgress) transfer.OnProgress(u"Downloading file", 10);

  uint64_t totalSize = 0;
  uint64_t received = resumeFrom;  // a continued body counts the bytes already held
  double factor = 0.01;            // progress points per byte while the size is unknown
  if (showProgress) transfer.AdvanceProgress(u"Getting file size");
  const int32_t bodyStart = transfer.Progress();
  if (querySize) {
    if (QueryContentLength(request, totalSize)) {
      totalSize += resumeFrom;
      // A length of 0 with a body all the same keeps the default factor.
      if (totalSize > 0) factor = (90.0 - bodyStart) / static_cast<double>(totalSize);
    } else {
      std::u16string text;
      GetErrorMessage(text);
      WriteLog(u"CQXNet::DownloadHttpData1:" + text);
    }
  }

  const std::string path = Utf16ToUtf8(outputPath);
  OutputFile output;
  if (!outputPath.empty() && !output.Open(path, resumeFrom)) {
    const std::u16string message =
        u"Unable to open output file:\n   " + outputPath + u"\n" + ErrnoText(errno);
    WriteLog(u"CQXNet::DownloadHttpData2:" + message);
    throw CQXNetException(message);
  }

  // Any failure below, a cancel included, leaves no partial file behind,
  // except a body cut short by the network when the caller keeps those.
  bool keepOutput = false;
  auto discardOutput = [&] {
    if (!outputPath.empty()) {
      output.Close();
      if (!keepOutput) ::unlink(path.c_str());
    }
  };
  auto noteCut = [&] { keepOutput = keepWhenCut && IsNetworkFailure(inet::GetLastError()); };

  // The body goes from the service's buffer straight to the file.
  int writeError = 0;
  auto writeOutput = [&](const char* data, size_t size) {
    if (!output.IsOpen() || output.Write(data, size)) return true;
    writeError = errno;
    return false;
  };
  try {
    for (;;) {
      DWORD available = 0;
      if (!inet::InternetQueryDataAvailable(request, &available, 0, 0)) {
        noteCut();
        std::u16string message = u"Error in InternetQueryDataAvailable";
        GetErrorMessage(message);
        discardOutput();
        WriteLog(u"CQXNet::DownloadHttpData3:" + message);
        throw CQXNetException(message);
      }
      if (available == 0) available = 1;
      if (available > kLargestRead) available = kLargestRead;

      DWORD read = 0;
      if (!inet::InternetReadFileInPlace(request, available, writeOutput, &read)) {
        if (writeError != 0) {
          keepOutput = false;
          const std::u16string message =
              u"Unable to write output file:\n   " + outputPath + u"\n" + ErrnoText(writeError);
          discardOutput();
          WriteLog(u"CQXNet::DownloadHttpData5:" + message);
          throw CQXNetException(message);
        }
        noteCut();
        std::u16string message = u"Error reading file with InternetReadFile\n";
        GetErrorMessage(message);
        discardOutput();
        WriteLog(u"CQXNet::DownloadHttpData4:" + message);
        throw CQXNetException(message);
      }
      if (read == 0) break;

      received += read;
      if (showProgress) {
        const std::u16string text = u"Downloading file (" +
                                    DecimalText(static_cast<long long>(received / 1024)) + u" kb/" +
                                    DecimalText(static_cast<long long>(totalSize / 1024)) + u" kb)";
        // From the total so far, so that small reads of a large body still
        // move the value.
        const auto step = static_cast<int64_t>(static_cast<double>(received) * factor);
        transfer.OnProgress(text,
                            static_cast<int32_t>(std::min<int64_t>(step + bodyStart, INT32_MAX)));
      }
    }
    if (!output.Close()) {
      const std::u16string message =
          u"Unable to write output file:\n   " + outputPath + u"\n" + ErrnoText(errno);
      discardOutput();
      WriteLog(u"CQXNet::DownloadHttpData5:" + message);
      throw CQXNetException(message);
    }
    if (showProgress) transfer.OnProgress(u"Finished downloading file", 90);
  } catch (const CQXNetException& failure) {
    // A cancel or any other failure takes the file with it; only the cut
    // noted above keeps it.
    if (failure.Message() == u"Canceled") keepOutput = false;
    discardOutput();
    throw;
  } catch (...) {
    keepOutput = false;
    discardOutput();
    throw;
  }
  WriteLog(u"CQXNet::DownloadHttpData return");
}

}  // namespace qx::net

// One sent HTTP request as a libcurl transfer driven in a pull style: the
// caller's waits run the session's multi handle until what it waits for has
// arrived. Body bytes are buffered up to a small bound; beyond it the
// transfer is paused until the caller takes bytes.
#pragma once

#include <curl/curl.h>

#include <chrono>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "net/internet_service/curl_error_map.h"
#include "net/internet_service/http_handles.h"
#include "net/internet_service/response_headers.h"

namespace qx::inet {

struct TransferSpec {
  std::string url;
  std::string verb;
  std::vector<std::string> headerLines;
  std::string body;
  bool followRedirects = true;
  bool secure = false;
  const RequestHandle* request = nullptr;  // credentials, flags
};

class HttpTransfer {
 public:
  static constexpr size_t kBufferLimit = 256 * 1024;

  explicit HttpTransfer(std::shared_ptr<SessionState> session);
  ~HttpTransfer();
  HttpTransfer(const HttpTransfer&) = delete;
  HttpTransfer& operator=(const HttpTransfer&) = delete;

  // Starts the transfer and waits for the final response's headers.
  // False with the last error set when it failed before them.
  bool Send(const TransferSpec& spec);

  // Waits until body bytes are buffered or the body ended. False with the
  // last error set when the transfer failed and nothing is left to hand out.
  bool WaitForData();
  size_t Buffered() const { return buffer_.size() - head_; }
  // The buffered bytes where they lie, valid until the next call on the
  // transfer.
  std::string_view Peek() const { return {buffer_.data() + head_, Buffered()}; }
  // Drops the first `count` buffered bytes; resumes a paused transfer.
  void Discard(size_t count);
  // Moves up to `count` buffered bytes to `out`; resumes a paused transfer.
  size_t Take(char* out, size_t count);

  const ResponseHeaders& Headers() const { return final_; }
  bool HeadersComplete() const { return headersComplete_; }
  // Host of the URL the final response came from.
  std::string EffectiveHost() const;

  // For the session's message loop.
  void OnDone(CURLcode result);

 private:
  static size_t OnHeader(char* data, size_t size, size_t count, void* self);
  static size_t OnWrite(char* data, size_t size, size_t count, void* self);
  static int OnProgress(void* self, curl_off_t dltotal, curl_off_t dlnow, curl_off_t ultotal,
                        curl_off_t ulnow);

  bool Configure(const TransferSpec& spec);
  bool ConfigureTrust(bool secure);
  void EndHeaderBlock();
  template <typename Done>
  void Pump(Done done);
  void CheckStall();
  void Fail(DWORD code, std::string detail);
  void ReportFailure() const;
  void Detach();

  std::shared_ptr<SessionState> session_;
  CURL* easy_ = nullptr;
  curl_slist* headerList_ = nullptr;
  bool attached_ = false;
  char errorBuffer_[CURL_ERROR_SIZE] = {};
  FailureContext failureContext_;

  bool followRedirects_ = true;
  bool nobody_ = false;
  ResponseHeaders block_;    // the header block being received
  bool blockFinal_ = false;  // the last completed block is the final one
  ResponseHeaders final_;
  bool headersComplete_ = false;

  std::vector<char> buffer_;
  size_t head_ = 0;
  bool paused_ = false;

  bool done_ = false;
  DWORD errorCode_ = 0;
  std::string errorDetail_;

  std::chrono::steady_clock::time_point lastActivity_;
  bool stallClockRunning_ = false;
  std::chrono::milliseconds stallTimeout_{0};
  curl_off_t lastDown_ = 0;
  curl_off_t lastUp_ = 0;
};

}  // namespace qx::inet

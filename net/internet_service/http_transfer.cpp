// One HTTP exchange over the session's curl multi handle, pulled by the
// caller: Send waits for the final headers, WaitForData for body bytes.
#include "net/internet_service/http_transfer.h"

#include <algorithm>
#include <cstring>

#include "net/internet_service/curl_error_map.h"
#include "net/internet_service/curl_url_handle.h"
#include "net/internet_service/last_error.h"
#include "net/internet_service/transfer_settings.h"

namespace qx::inet {
namespace {

constexpr long kMaxRedirects = 20;
constexpr int kPollIntervalMs = 100;
// libcurl's receive buffer. Measured on loopback for a 1 GiB body, 128 KiB
// to 512 KiB took the least processor time (16 KiB about 60 % more, 1 MiB
// about 40 % more); the smaller end keeps what a paused transfer holds back
// (libcurl keeps a copy of the piece it could not hand over) small.
constexpr size_t kReceiveSize = size_t{128} * 1024;

// Every transfer of the session that has finished is told so.
void DeliverFinishedTransfers(CURLM* multi) {
  int left = 0;
  while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
    if (message->msg != CURLMSG_DONE) continue;
    HttpTransfer* transfer = nullptr;
    curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, reinterpret_cast<char**>(&transfer));
    const CURLcode result = message->data.result;
    if (transfer != nullptr) transfer->OnDone(result);
  }
}

}  // namespace

HttpTransfer::HttpTransfer(std::shared_ptr<SessionState> session) : session_(std::move(session)) {}

HttpTransfer::~HttpTransfer() {
  Detach();
  if (easy_ != nullptr) curl_easy_cleanup(easy_);
  if (headerList_ != nullptr) curl_slist_free_all(headerList_);
}

void HttpTransfer::Detach() {
  if (attached_) {
    curl_multi_remove_handle(session_->multi, easy_);
    attached_ = false;
  }
}

bool HttpTransfer::Configure(const TransferSpec& spec) {
  easy_ = curl_easy_init();
  if (easy_ == nullptr || session_->multi == nullptr) {
    Fail(ERROR_NOT_ENOUGH_MEMORY, "Unable to create a transfer");
    return false;
  }
  CURL* e = easy_;
  curl_easy_setopt(e, CURLOPT_PRIVATE, this);
  curl_easy_setopt(e, CURLOPT_ERRORBUFFER, errorBuffer_);
  curl_easy_setopt(e, CURLOPT_URL, spec.url.c_str());
  curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(e, CURLOPT_BUFFERSIZE, static_cast<long>(kReceiveSize));
  curl_easy_setopt(e, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
  // A secure request is never redirected to plain http.
  curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, spec.secure ? "https" : "http,https");
  curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, spec.followRedirects ? 1L : 0L);
  curl_easy_setopt(e, CURLOPT_MAXREDIRS, kMaxRedirects);
  curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(ConnectTimeout().count()));
  curl_easy_setopt(e, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
  curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
  curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &HttpTransfer::OnHeader);
  curl_easy_setopt(e, CURLOPT_HEADERDATA, this);
  curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &HttpTransfer::OnWrite);
  curl_easy_setopt(e, CURLOPT_WRITEDATA, this);
  curl_easy_setopt(e, CURLOPT_XFERINFOFUNCTION, &HttpTransfer::OnProgress);
  curl_easy_setopt(e, CURLOPT_XFERINFODATA, this);
  curl_easy_setopt(e, CURLOPT_NOPROGRESS, 0L);

  // A transfer whose average speed stays under the floor for a whole stall
  // period fails even though bytes keep trickling in.
  const auto stallSeconds =
      std::max<long>(1, static_cast<long>((stallTimeout_.count() + 999) / 1000));
  curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, LowSpeedLimit());
  curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, stallSeconds);

  if (!ConfigureTrust(spec.secure)) return false;

  if (!session_->agent.empty()) curl_easy_setopt(e, CURLOPT_USERAGENT, session_->agent.c_str());
  failureContext_.secure = spec.secure;
  if (session_->direct) {
    curl_easy_setopt(e, CURLOPT_PROXY, "");
  } else if (!session_->proxy.empty()) {
    curl_easy_setopt(e, CURLOPT_PROXY, session_->proxy.c_str());
    failureContext_.proxy = session_->proxy;
  } else {
    failureContext_.proxy = EnvironmentProxy(spec.secure ? "https" : "http");
  }

  for (const std::string& line : spec.headerLines) {
    curl_slist* grown = curl_slist_append(headerList_, line.c_str());
    if (grown == nullptr) {
      Fail(ERROR_NOT_ENOUGH_MEMORY, "Unable to build the request headers");
      return false;
    }
    headerList_ = grown;
  }
  // A body is sent at once, without waiting for "100 Continue".
  headerList_ = curl_slist_append(headerList_, "Expect:");
  curl_easy_setopt(e, CURLOPT_HTTPHEADER, headerList_);

  if (strcasecmp(spec.verb.c_str(), "HEAD") == 0) {
    curl_easy_setopt(e, CURLOPT_NOBODY, 1L);
    nobody_ = true;
  } else if (strcasecmp(spec.verb.c_str(), "GET") == 0) {
    curl_easy_setopt(e, CURLOPT_HTTPGET, 1L);
  } else {
    if (strcasecmp(spec.verb.c_str(), "POST") == 0 || !spec.body.empty()) {
      curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(spec.body.size()));
      curl_easy_setopt(e, CURLOPT_COPYPOSTFIELDS, spec.body.data());
    }
    if (strcasecmp(spec.verb.c_str(), "POST") != 0) {
      curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, spec.verb.c_str());
    }
  }

  if (spec.request != nullptr) {
    if (const auto& server = spec.request->serverCredentials) {
      curl_easy_setopt(e, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
      curl_easy_setopt(e, CURLOPT_USERNAME, server->user.c_str());
      curl_easy_setopt(e, CURLOPT_PASSWORD, server->password.c_str());
    }
    if (const auto& proxy = spec.request->proxyCredentials) {
      curl_easy_setopt(e, CURLOPT_PROXYAUTH, static_cast<long>(CURLAUTH_BASIC));
      curl_easy_setopt(e, CURLOPT_PROXYUSERNAME, proxy->user.c_str());
      curl_easy_setopt(e, CURLOPT_PROXYPASSWORD, proxy->password.c_str());
    }
  }
  return true;
}

bool HttpTransfer::ConfigureTrust(bool secure) {
  char* systemBundle = nullptr;
  curl_easy_getinfo(easy_, CURLINFO_CAINFO, &systemBundle);
  const TrustSources trust = ResolveTrustSources(systemBundle != nullptr ? systemBundle : "");
  if (!trust.problem.empty() && secure) {
    Fail(ERROR_INTERNET_INVALID_CA, trust.problem);
    return false;
  }
  // A plain request keeps going; should it be redirected to https, libcurl
  // refuses the unreadable bundle itself.
  if (!trust.bundleFile.empty()) curl_easy_setopt(easy_, CURLOPT_CAINFO, trust.bundleFile.c_str());
  if (!trust.certFolder.empty()) curl_easy_setopt(easy_, CURLOPT_CAPATH, trust.certFolder.c_str());
  if (!trust.extraPem.empty()) {
    curl_blob blob{const_cast<char*>(trust.extraPem.data()), trust.extraPem.size(), CURL_BLOB_COPY};
    curl_easy_setopt(easy_, CURLOPT_CAINFO_BLOB, &blob);
  }
  return true;
}

bool HttpTransfer::Send(const TransferSpec& spec) {
  followRedirects_ = spec.followRedirects;
  stallTimeout_ = StallTimeout();
  if (!Configure(spec)) {
    ReportFailure();
    return false;
  }
  if (curl_multi_add_handle(session_->multi, easy_) != CURLM_OK) {
    Fail(ERROR_INTERNET_INTERNAL_ERROR, "Unable to start the transfer");
    ReportFailure();
    return false;
  }
  attached_ = true;
  lastActivity_ = std::chrono::steady_clock::now();
  Pump([this] { return headersComplete_; });
  if (headersComplete_) return true;
  if (errorCode_ == 0)
    Fail(ERROR_HTTP_INVALID_SERVER_RESPONSE, "The server sent no response headers");
  ReportFailure();
  return false;
}

bool HttpTransfer::WaitForData() {
  Pump([this] { return Buffered() > 0; });
  if (Buffered() > 0 || errorCode_ == 0) return true;
  ReportFailure();
  return false;
}

size_t HttpTransfer::Take(char* out, size_t count) {
  const size_t n = std::min(count, Buffered());
  if (n == 0) return 0;
  std::memcpy(out, buffer_.data() + head_, n);
  Discard(n);
  return n;
}

void HttpTransfer::Discard(size_t count) {
  head_ += std::min(count, Buffered());
  if (head_ == buffer_.size()) {
    buffer_.clear();
    head_ = 0;
  } else if (head_ >= kBufferLimit / 2) {
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(head_));
    head_ = 0;
  }
  if (paused_ && Buffered() < kBufferLimit) {
    paused_ = false;
    lastActivity_ = std::chrono::steady_clock::now();
    // May hand over the held-back data at once (and pause again).
    curl_easy_pause(easy_, CURLPAUSE_CONT);
  }
}

std::string HttpTransfer::EffectiveHost() const {
  char* url = nullptr;
  if (easy_ == nullptr || curl_easy_getinfo(easy_, CURLINFO_EFFECTIVE_URL, &url) != CURLE_OK ||
      url == nullptr) {
    return std::string();
  }
  CurlUrl parsed(curl_url());
  if (!parsed || curl_url_set(parsed.get(), CURLUPART_URL, url, 0) != CURLUE_OK)
    return std::string();
  return GetUrlPart(parsed.get(), CURLUPART_HOST).value_or("");
}

template <typename Done>
void HttpTransfer::Pump(Done done) {
  while (!done() && !done_) {
    int running = 0;
    const CURLMcode status = curl_multi_perform(session_->multi, &running);
    if (status != CURLM_OK) {
      Fail(ERROR_INTERNET_INTERNAL_ERROR, curl_multi_strerror(status));
      Detach();
      return;
    }
    DeliverFinishedTransfers(session_->multi);
    if (done() || done_) return;
    if (paused_) return;  // waiting for the caller, nothing more can arrive
    CheckStall();
    if (done_) return;
    curl_multi_poll(session_->multi, nullptr, 0, kPollIntervalMs, nullptr);
  }
}

void HttpTransfer::CheckStall() {
  const auto now = std::chrono::steady_clock::now();
  if (!stallClockRunning_) {
    // The connection (and TLS handshake) is under the connect timeout; the
    // stall clock starts once the request could be sent.
    curl_off_t pretransfer = 0;
    curl_easy_getinfo(easy_, CURLINFO_PRETRANSFER_TIME_T, &pretransfer);
    if (pretransfer <= 0) return;
    stallClockRunning_ = true;
    lastActivity_ = now;
    return;
  }
  if (now - lastActivity_ < stallTimeout_) return;
  const auto seconds = std::chrono::duration<double>(stallTimeout_).count();
  char text[160];
  std::snprintf(text, sizeof text,
                "The server sent no data for %.1f seconds; the transfer was abandoned", seconds);
  Fail(ERROR_INTERNET_TIMEOUT, text);
  done_ = true;
  Detach();
}

void HttpTransfer::OnDone(CURLcode result) {
  done_ = true;
  if (result != CURLE_OK && errorCode_ == 0) {
    TransferFailure failure = DescribeCurlFailure(result, easy_, errorBuffer_, failureContext_);
    Fail(failure.code, std::move(failure.message));
  }
  if (result == CURLE_OK && !headersComplete_) {
    // A response that ended without a header block we took as final (for
    // example HTTP/0.9): its last block is all there is.
    final_ = block_;
    headersComplete_ = !final_.version.empty();
  }
  Detach();
}

void HttpTransfer::Fail(DWORD code, std::string detail) {
  if (errorCode_ != 0) return;
  errorCode_ = code;
  errorDetail_ = std::move(detail);
}

void HttpTransfer::ReportFailure() const {
  SetLastErrorDetail(errorCode_ != 0 ? errorCode_ : ERROR_INTERNET_INTERNAL_ERROR, errorDetail_);
}

void HttpTransfer::EndHeaderBlock() {
  const long status = block_.status;
  const bool informational = status >= 100 && status < 200;
  const bool followed = followRedirects_ && status >= 300 && status < 400 &&
                        block_.Find("Location") != nullptr && !block_.Find("Location")->empty();
  blockFinal_ = !informational && !followed;
  if (blockFinal_) {
    final_ = block_;
    headersComplete_ = true;
  }
}

size_t HttpTransfer::OnHeader(char* data, size_t size, size_t count, void* self) {
  auto* transfer = static_cast<HttpTransfer*>(self);
  const size_t bytes = size * count;
  transfer->lastActivity_ = std::chrono::steady_clock::now();
  switch (AddHeaderLine(transfer->block_, std::string_view(data, bytes))) {
    case HeaderLine::Status:
      transfer->blockFinal_ = false;
      break;
    case HeaderLine::End:
      transfer->EndHeaderBlock();
      break;
    case HeaderLine::Field:
      break;
  }
  return bytes;
}

size_t HttpTransfer::OnWrite(char* data, size_t size, size_t count, void* self) {
  auto* transfer = static_cast<HttpTransfer*>(self);
  const size_t bytes = size * count;
  if (!transfer->headersComplete_) {
    // Body of a response that is not handed out (a followed redirect).
    if (!transfer->blockFinal_ && transfer->block_.status != 0) return bytes;
    transfer->final_ = transfer->block_;
    transfer->headersComplete_ = true;
  }
  if (transfer->Buffered() >= kBufferLimit) {
    transfer->paused_ = true;
    return CURL_WRITEFUNC_PAUSE;
  }
  transfer->buffer_.insert(transfer->buffer_.end(), data, data + bytes);
  return bytes;
}

int HttpTransfer::OnProgress(void* self, curl_off_t, curl_off_t dlnow, curl_off_t,
                             curl_off_t ulnow) {
  auto* transfer = static_cast<HttpTransfer*>(self);
  if (dlnow != transfer->lastDown_ || ulnow != transfer->lastUp_) {
    transfer->lastDown_ = dlnow;
    transfer->lastUp_ = ulnow;
    transfer->lastActivity_ = std::chrono::steady_clock::now();
  }
  return 0;
}

}  // namespace qx::inet

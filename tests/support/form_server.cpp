#include "tests/support/form_server.h"

#include <chrono>

namespace qxtest {

FormServer::FormServer() {
  // The body is taken through a content reader: the server's own reading of
  // form bodies stops at a few kilobytes, far below an upload's size.
  server_.http().Post("/form", [this](const httplib::Request& request, httplib::Response& response,
                                      const httplib::ContentReader& reader) {
    std::string body;
    reader([&](const char* data, size_t length) {
      body.append(data, length);
      return true;
    });
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_for(lock, std::chrono::seconds(60), [this] { return callReturned_; });
    if (!received_) {
      post_.body = body;
      post_.contentType = request.get_header_value("Content-Type");
      post_.userAgent = request.get_header_value("User-Agent");
      post_.callHadReturned = callReturned_;
      received_ = true;
    }
    changed_.notify_all();
    response.set_content(kAnswerPage, "text/html");
  });
  server_.Start();
}

// A handler still waiting for the mark is let go before the server stops.
FormServer::~FormServer() { MarkCallReturned(); }

std::string FormServer::Url() const { return server_.Url("/form"); }

void FormServer::MarkCallReturned() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    callReturned_ = true;
  }
  changed_.notify_all();
}

bool FormServer::WaitForPost(ReceivedPost* post) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!changed_.wait_for(lock, std::chrono::seconds(60), [this] { return received_; })) {
    return false;
  }
  *post = post_;
  return true;
}

}  // namespace qxtest

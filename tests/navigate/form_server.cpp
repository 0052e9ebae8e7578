#include "tests/navigate/form_server.h"

#include <chrono>
#include <stdexcept>

namespace navtest {

FormServer::FormServer() {
  // The body is taken through a content reader: the server's own reading of
  // form bodies stops at a few kilobytes, far below an upload's size.
  server_.Post("/form", [this](const httplib::Request& request, httplib::Response& response,
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
  port_ = server_.bind_to_any_port("127.0.0.1");
  if (port_ <= 0) throw std::runtime_error("cannot bind a loopback port");
  thread_ = std::thread([this] { server_.listen_after_bind(); });
  while (!server_.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

FormServer::~FormServer() {
  MarkCallReturned();
  server_.stop();
  if (thread_.joinable()) thread_.join();
}

std::string FormServer::Url() const {
  return "http://127.0.0.1:" + std::to_string(port_) + "/form";
}

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

}  // namespace navtest

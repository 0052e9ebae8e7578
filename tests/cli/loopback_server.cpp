#include "tests/cli/loopback_server.h"

#include <httplib.h>

#include <chrono>

namespace clitest {

std::string FileBody() {
  std::string body(kFileSize, '\0');
  for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>('a' + (i * 7 + i / 251) % 26);
  return body;
}

namespace {

std::string Feed(const std::string& base) {
  std::string feed = "<?xml version=\"1.0\"?>\n<rss version=\"2.0\"><channel><title>Test</title>";
  const char* items[][3] = {{"test-1", "First", "Mon, 01 Apr 2024 10:00:00 GMT"},
                            {"test-2", "Second", "Wed, 01 May 2024 10:00:00 GMT"},
                            {"test-3", "Third", "Sat, 01 Jun 2024 10:00:00 GMT"}};
  for (const auto& item : items) {
    feed += std::string("<item><title>") + item[1] + "</title><link>" + base + "/file.bin</link>" +
            "<guid>" + item[0] + "</guid><pubDate>" + item[2] + "</pubDate></item>";
  }
  return feed + "</channel></rss>\n";
}

}  // namespace

LoopbackServer::LoopbackServer()
    : server_(std::make_unique<httplib::Server>()),
      stopping_(std::make_shared<std::atomic<bool>>(false)) {
  port_ = server_->bind_to_any_port("127.0.0.1");
  const std::string base = "http://127.0.0.1:" + std::to_string(port_);
  server_->Get("/file.bin", [](const httplib::Request&, httplib::Response& response) {
    response.set_content(FileBody(), "application/octet-stream");
  });
  server_->Get("/dated.bin", [gets = dated_gets_](const httplib::Request& request,
                                                  httplib::Response& response) {
    if (request.method == "GET") ++*gets;
    response.set_header("Last-Modified", "Wed, 21 Oct 2015 07:28:00 GMT");
    response.set_content(FileBody(), "application/octet-stream");
  });
  server_->Get("/feed.xml", [base](const httplib::Request&, httplib::Response& response) {
    response.set_content(Feed(base), "application/rss+xml");
  });
  auto stopping = stopping_;
  server_->Get("/slow.bin", [stopping](const httplib::Request&, httplib::Response& response) {
    response.set_content_provider(
        size_t{64} << 20, "application/octet-stream",
        [stopping](size_t, size_t, httplib::DataSink& sink) {
          if (stopping->load()) return false;
          std::this_thread::sleep_for(std::chrono::milliseconds(20));
          static const std::string piece(4096, 'x');
          return sink.write(piece.data(), piece.size());
        });
  });
  thread_ = std::thread([this] { server_->listen_after_bind(); });
  while (!server_->is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

LoopbackServer::~LoopbackServer() {
  stopping_->store(true);
  server_->stop();
  thread_.join();
}

std::string LoopbackServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

}  // namespace clitest

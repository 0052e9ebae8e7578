#include "tools/qxnet/demo_server.h"

#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "tools/qxnet/sample_files.h"

namespace qxcli {

namespace {

constexpr std::string_view kPlaceholder = "{{BASE_URL}}";
constexpr size_t kPieceSize = 512;
// The update file goes out in small pieces with a short pause between them,
// so the progress bar of the demo can be watched moving.
constexpr auto kPiecePause = std::chrono::milliseconds(12);
constexpr const char* kLastModified = "Mon, 03 Jun 2024 09:30:00 GMT";

}  // namespace

std::string SampleFeed(std::string_view base_url) {
  std::string feed(SampleContent("demo-feed.xml"));
  for (size_t at = feed.find(kPlaceholder); at != std::string::npos;
       at = feed.find(kPlaceholder, at + base_url.size()))
    feed.replace(at, kPlaceholder.size(), base_url);
  return feed;
}

struct DemoServer::State {
  httplib::Server server;
  std::thread thread;
};

DemoServer::DemoServer() : state_(std::make_unique<State>()) {
  httplib::Server& server = state_->server;
  const int port = server.bind_to_any_port("127.0.0.1");
  if (port <= 0) throw std::runtime_error("The demo server cannot listen on 127.0.0.1");
  base_url_ = "http://127.0.0.1:" + std::to_string(port);

  const std::string feed = SampleFeed(base_url_);
  server.Get("/feed.xml", [feed](const httplib::Request&, httplib::Response& response) {
    response.set_header("Last-Modified", kLastModified);
    response.set_content(feed, "application/rss+xml");
  });
  server.Get(R"(/updates/[A-Za-z0-9._-]+)", [](const httplib::Request&,
                                               httplib::Response& response) {
    const std::string_view body = SampleContent("updates/corvane-update.txt");
    response.set_header("Last-Modified", kLastModified);
    response.set_content_provider(
        body.size(), "text/plain", [body](size_t offset, size_t length, httplib::DataSink& sink) {
          const size_t piece = std::min({length, kPieceSize, body.size() - offset});
          if (offset > 0) std::this_thread::sleep_for(kPiecePause);
          return sink.write(body.data() + offset, piece);
        });
  });

  state_->thread = std::thread([this] { state_->server.listen_after_bind(); });
  for (int waited = 0; !state_->server.is_running(); ++waited) {
    if (waited == 5000) {
      state_->server.stop();
      state_->thread.join();
      throw std::runtime_error("The demo server did not start");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

DemoServer::~DemoServer() {
  state_->server.stop();
  if (state_->thread.joinable()) state_->thread.join();
}

}  // namespace qxcli

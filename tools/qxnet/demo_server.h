// The demo's HTTP server on 127.0.0.1 (an ephemeral port), run on a thread
// of this process: /feed.xml is the bundled sample feed with its links
// pointing at this server, /updates/NAME the bundled sample update file.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace qxcli {

class DemoServer {
 public:
  DemoServer();  // throws std::runtime_error when it cannot listen
  ~DemoServer();
  DemoServer(const DemoServer&) = delete;
  DemoServer& operator=(const DemoServer&) = delete;

  // "http://127.0.0.1:PORT"
  const std::string& BaseUrl() const { return base_url_; }
  std::string FeedUrl() const { return base_url_ + "/feed.xml"; }

 private:
  struct State;
  std::unique_ptr<State> state_;
  std::string base_url_;
};

// The bundled feed template with every {{BASE_URL}} replaced.
std::string SampleFeed(std::string_view base_url);

}  // namespace qxcli

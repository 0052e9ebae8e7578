// An HTTP server on 127.0.0.1 (ephemeral port) for the end-to-end tests:
//   /file.bin   a fixed body of kFileSize bytes
//   /missing    404
//   /slow.bin   a large body sent slowly, for cancelling a download
//   /feed.xml   an update feed with three items whose links point here
//   /dated.bin  the body of /file.bin with a fixed Last-Modified, its GETs counted
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <thread>

namespace httplib {
class Server;
}

namespace clitest {

inline constexpr size_t kFileSize = 70000;
std::string FileBody();  // the body of /file.bin

class LoopbackServer {
 public:
  LoopbackServer();
  ~LoopbackServer();
  std::string Url(const std::string& path) const;
  // GET requests of /dated.bin so far (HEAD requests not counted).
  int DatedDownloads() const { return dated_gets_->load(); }

 private:
  std::unique_ptr<httplib::Server> server_;
  std::thread thread_;
  std::shared_ptr<std::atomic<bool>> stopping_;
  std::shared_ptr<std::atomic<int>> dated_gets_ = std::make_shared<std::atomic<int>>(0);
  int port_ = 0;
};

}  // namespace clitest

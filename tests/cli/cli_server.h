// The routes of the command-line tests, on a loopback server:
//   /file.bin   a fixed body of kFileSize bytes
//   /missing    404
//   /slow.bin   a large body sent slowly, for cancelling a download
//   /feed.xml   an update feed with three items whose links point here
//   /dated.bin  the body of /file.bin with a fixed Last-Modified, its GETs counted
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "tests/support/loopback_server.h"

namespace clitest {

inline constexpr size_t kFileSize = 70000;
std::string FileBody();  // the body of /file.bin

class CliServer {
 public:
  CliServer();
  std::string Url(const std::string& path) const { return server_.Url(path); }
  // GET requests of /dated.bin so far (HEAD requests not counted).
  int DatedDownloads() const { return dated_gets_.load(); }

 private:
  std::atomic<int> dated_gets_{0};
  qxtest::LoopbackServer server_;  // last: stopped before the counter its handler uses
};

}  // namespace clitest

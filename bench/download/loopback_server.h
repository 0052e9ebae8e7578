// The server the download benchmark fetches from, on 127.0.0.1: nginx when
// it is installed (fast enough that the clients are what is measured),
// otherwise a server inside this process, whose own cost per request the
// benchmark then reports.
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>
#include <thread>

namespace httplib {
class Server;
}

namespace bench {

class LoopbackServer {
 public:
  // Serves the files under `root` (root/big.bin, root/small/N.txt);
  // `scratch` holds the server's own configuration and logs.
  LoopbackServer(const std::string& root, const std::string& scratch);
  ~LoopbackServer();
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  bool Ready() const { return port_ != 0; }
  std::string BaseUrl() const;
  // "nginx 1.22.1" or the fallback's name.
  const std::string& Name() const { return name_; }
  bool IsNginx() const { return nginx_ != 0; }

 private:
  bool StartNginx(const std::string& root, const std::string& scratch);
  void StartFallback(const std::string& root);

  int port_ = 0;
  pid_t nginx_ = 0;
  std::string name_;
  std::unique_ptr<httplib::Server> fallback_;
  std::thread serving_;
};

}  // namespace bench

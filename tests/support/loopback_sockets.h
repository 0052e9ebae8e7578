// Listening and closed TCP ports on 127.0.0.1 for the connect-probe tests.
#pragma once

#include <cstdint>
#include <vector>

namespace qxtest {

// A socket listening on 127.0.0.1, on an ephemeral port unless one is given.
class Listener {
 public:
  explicit Listener(int backlog = 16, std::uint16_t port = 0);
  ~Listener();
  Listener(const Listener&) = delete;
  Listener& operator=(const Listener&) = delete;
  std::uint16_t port() const { return port_; }
  int fd() const { return fd_; }

 private:
  int fd_ = -1;
  std::uint16_t port_ = 0;
};

// A port on 127.0.0.1 that had a socket bound a moment ago and has none now.
std::uint16_t ClosedPort();

// Connects client sockets to `port` without anyone accepting them until a
// connection no longer completes: the listen queue is full. Returns false
// when the queue could not be filled.
bool FillListenQueue(std::uint16_t port, std::vector<int>* clients);

}  // namespace qxtest

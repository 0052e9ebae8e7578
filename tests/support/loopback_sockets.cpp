#include "tests/support/loopback_sockets.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace qxtest {
namespace {

int BoundSocket(std::uint16_t* port, std::uint16_t wanted = 0) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw std::runtime_error("socket");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(wanted);
  socklen_t length = sizeof address;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    close(fd);
    throw std::runtime_error("bind");
  }
  *port = ntohs(address.sin_port);
  return fd;
}

}  // namespace

Listener::Listener(int backlog, std::uint16_t port) {
  fd_ = BoundSocket(&port_, port);
  if (listen(fd_, backlog) != 0) throw std::runtime_error("listen");
}

Listener::~Listener() { close(fd_); }

std::uint16_t ClosedPort() {
  std::uint16_t port = 0;
  close(BoundSocket(&port));
  return port;
}

bool FillListenQueue(std::uint16_t port, std::vector<int>* clients) {
  sockaddr_in target{};
  target.sin_family = AF_INET;
  target.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  target.sin_port = htons(port);
  for (int i = 0; i < 64; ++i) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return false;
    clients->push_back(fd);
    if (connect(fd, reinterpret_cast<sockaddr*>(&target), sizeof target) == 0) continue;
    if (errno != EINPROGRESS) return false;
    pollfd entry{fd, POLLOUT, 0};
    // A connection that is not made within a second is being held back by
    // the full queue.
    if (poll(&entry, 1, 1000) == 0) return true;
  }
  return false;
}

}  // namespace qxtest

// Non-blocking TCP connect with a time limit, for the connect probe.
#include "net/connectivity/connect_probe.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>

#include "net/connectivity/probe_diagnostics.h"

namespace qx::net {
namespace {

// Closes the probe's socket on every path.
class SocketCloser {
 public:
  explicit SocketCloser(int fd) : fd_(fd) {}
  ~SocketCloser() {
    if (fd_ >= 0) ::close(fd_);
  }
  SocketCloser(const SocketCloser&) = delete;
  SocketCloser& operator=(const SocketCloser&) = delete;

 private:
  int fd_;
};

bool Fail(std::string_view text) {
  ShowProbeDiagnostic(text);
  return false;
}

enum class WaitResult { Ready, TimedOut, Failed };

// Waits until the socket is writable (the connection is made or has failed).
WaitResult WaitWritable(int fd, std::int32_t timeoutMilliseconds, int* waitError) {
  using Clock = std::chrono::steady_clock;
  const bool unbounded = timeoutMilliseconds < 0;
  const auto deadline =
      Clock::now() + std::chrono::milliseconds(unbounded ? 0 : timeoutMilliseconds);
  for (;;) {
    int wait = -1;
    if (!unbounded) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      wait = left <= 0 ? 0 : static_cast<int>(left < INT_MAX ? left : INT_MAX);
    }
    pollfd entry{fd, POLLOUT, 0};
    const int ready = ::poll(&entry, 1, wait);
    if (ready > 0) return WaitResult::Ready;
    if (ready == 0) return WaitResult::TimedOut;
    if (errno != EINTR) {
      *waitError = errno;
      return WaitResult::Failed;
    }
  }
}

}  // namespace

bool IsValidConnectTarget(std::string_view host, std::int64_t port) {
  return !host.empty() && port >= 1 && port <= 65535;
}

bool ConnectWithTimeout(const std::string& host, std::uint16_t port,
                        std::int32_t timeoutMilliseconds, const HostResolver& resolver) {
  if (host.empty() || port == 0) return false;

  const std::uint32_t lookupWait =
      timeoutMilliseconds < 0 ? kWaitForever : static_cast<std::uint32_t>(timeoutMilliseconds);
  in_addr_t address = 0;
  switch (GetHostAddress(host, &address, lookupWait, resolver)) {
    case HostLookup::Found:
      break;
    case HostLookup::TimedOut:
      return Fail("Timeout getting host address");
    case HostLookup::NotFound:
      return Fail("Unable to get host address");
  }

  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  if (fd < 0) return Fail("Unable to create socket");
  SocketCloser closer(fd);

  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) {
    return Fail("Error setting non-blocking mode on socket");
  }

  sockaddr_in target{};
  target.sin_family = AF_INET;
  target.sin_port = htons(port);
  target.sin_addr.s_addr = address;
  int result;
  do {
    result = ::connect(fd, reinterpret_cast<const sockaddr*>(&target), sizeof target);
  } while (result != 0 && errno == EINTR);
  if (result == 0) return true;
  // Only a connection still in progress is worth waiting for; one that was
  // refused or cannot be routed has its answer already.
  if (errno != EINPROGRESS && errno != EAGAIN) return false;

  int waitError = 0;
  switch (WaitWritable(fd, timeoutMilliseconds, &waitError)) {
    case WaitResult::TimedOut:
      return Fail("Timeout");
    case WaitResult::Failed:
      return Fail("select error: " + std::to_string(waitError));
    case WaitResult::Ready:
      break;
  }

  int error = 0;
  socklen_t errorLength = sizeof error;
  if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &errorLength) != 0 || error != 0) {
    return false;
  }
  sockaddr_in peer{};
  socklen_t peerLength = sizeof peer;
  if (::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerLength) != 0) return false;
  return peer.sin_family == AF_INET && peer.sin_addr.s_addr == address;
}

}  // namespace qx::net

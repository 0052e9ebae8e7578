// The TCP connect probe against sockets on 127.0.0.1: accepted, refused and
// held-back connections, the argument rule, odd timeouts and host names, the
// lookup worker that outlives its caller, and the diagnostic texts.
#include <gtest/gtest.h>
#include <unistd.h>

#include <arpa/inet.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>

#include "net/connectivity/connect_probe.h"
#include "net/connectivity/host_lookup.h"
#include "tests/connectivity/loopback_sockets.h"

namespace {

using qx::net::ConnectWithTimeout;
using qx::net::HostResolver;

// Runs `probe` with the diagnostics switched on and returns what it wrote to
// standard error.
template <class Probe>
std::string Diagnostics(Probe probe, bool* answer) {
  setenv("QXNET_DIAGNOSTICS", "1", 1);
  testing::internal::CaptureStderr();
  *answer = probe();
  const std::string text = testing::internal::GetCapturedStderr();
  unsetenv("QXNET_DIAGNOSTICS");
  return text;
}

HostResolver MustNotResolve() {
  return [](const std::string& host) -> std::optional<in_addr_t> {
    ADD_FAILURE() << "unexpected lookup of " << host.substr(0, 40);
    return std::nullopt;
  };
}

HostResolver ResolvesToLoopback(std::atomic<int>* calls) {
  return [calls](const std::string&) -> std::optional<in_addr_t> {
    ++*calls;
    return htonl(INADDR_LOOPBACK);
  };
}

TEST(ConnectProbe, ArgumentRule) {
  EXPECT_TRUE(qx::net::IsValidConnectTarget("127.0.0.1", 1));
  EXPECT_TRUE(qx::net::IsValidConnectTarget("127.0.0.1", 65535));
  EXPECT_FALSE(qx::net::IsValidConnectTarget("127.0.0.1", 0));
  EXPECT_FALSE(qx::net::IsValidConnectTarget("127.0.0.1", 65536));
  EXPECT_FALSE(qx::net::IsValidConnectTarget("127.0.0.1", -1));
  EXPECT_FALSE(qx::net::IsValidConnectTarget("127.0.0.1", INT_MIN));
  EXPECT_FALSE(qx::net::IsValidConnectTarget("127.0.0.1", std::int64_t{1} << 40));
  EXPECT_FALSE(qx::net::IsValidConnectTarget("", 80));
  EXPECT_TRUE(qx::net::IsValidConnectTarget(std::string(10000, 'h'), 80));
}

TEST(ConnectProbe, ListeningPortAcceptsWhateverTheTimeout) {
  probetest::Listener listener;
  for (const std::int32_t timeout : {1000, 0, -1, INT_MAX, INT_MIN, -5}) {
    bool answer = false;
    const std::string text = Diagnostics(
        [&] { return ConnectWithTimeout("127.0.0.1", listener.port(), timeout, MustNotResolve()); },
        &answer);
    // A zero timeout may end before the handshake; every other one connects.
    if (timeout != 0) {
      EXPECT_TRUE(answer) << "timeout " << timeout;
      EXPECT_EQ(text, "") << "timeout " << timeout;
    }
  }
}

TEST(ConnectProbe, ClosedPortAnswersFalseWithoutWaiting) {
  const std::uint16_t port = probetest::ClosedPort();
  for (const std::int32_t timeout : {1000, -1, INT_MAX}) {
    bool answer = true;
    const std::string text =
        Diagnostics([&] { return ConnectWithTimeout("127.0.0.1", port, timeout); }, &answer);
    EXPECT_FALSE(answer);
    EXPECT_EQ(text, "");
  }
}

TEST(ConnectProbe, PortZeroAndEmptyHostAnswerFalseAtOnce) {
  EXPECT_FALSE(ConnectWithTimeout("127.0.0.1", 0, 1000, MustNotResolve()));
  EXPECT_FALSE(ConnectWithTimeout("", 80, 1000, MustNotResolve()));
}

TEST(ConnectProbe, HighestPortIsUsable) {
  std::unique_ptr<probetest::Listener> listener;
  try {
    listener = std::make_unique<probetest::Listener>(16, 65535);
  } catch (const std::exception&) {
    GTEST_SKIP() << "port 65535 is taken on 127.0.0.1";
  }
  EXPECT_TRUE(ConnectWithTimeout("127.0.0.1", 65535, 1000, MustNotResolve()));
}

TEST(ConnectProbe, FullListenQueueRunsIntoTheTimeout) {
  probetest::Listener listener(0);
  std::vector<int> clients;
  const bool filled = probetest::FillListenQueue(listener.port(), &clients);
  if (!filled) {
    for (int fd : clients) close(fd);
    GTEST_SKIP() << "the listen queue cannot be filled on this system";
  }
  bool answer = true;
  const std::string text = Diagnostics(
      [&] { return ConnectWithTimeout("127.0.0.1", listener.port(), 300); }, &answer);
  for (int fd : clients) close(fd);
  EXPECT_FALSE(answer);
  EXPECT_EQ(text, "Timeout\n");
}

TEST(ConnectProbe, OverlongHostNameFailsWithoutALookup) {
  bool answer = true;
  const std::string text = Diagnostics(
      [&] { return ConnectWithTimeout(std::string(10000, 'a'), 80, 1000, MustNotResolve()); },
      &answer);
  EXPECT_FALSE(answer);
  EXPECT_EQ(text, "Unable to get host address\n");

  // A label of 64 characters, and a NUL byte, cannot name a host either.
  EXPECT_FALSE(ConnectWithTimeout(std::string(64, 'b') + ".example", 80, 1000, MustNotResolve()));
  EXPECT_FALSE(ConnectWithTimeout(std::string("127.0.0.1\0.evil", 15), 80, 1000, MustNotResolve()));
}

TEST(ConnectProbe, NamesAreLookedUpAndNumericHostsUsedDirectly) {
  probetest::Listener listener;
  std::atomic<int> calls{0};
  EXPECT_TRUE(ConnectWithTimeout("service.test", listener.port(), 5000, ResolvesToLoopback(&calls)));
  EXPECT_EQ(calls.load(), 1);
  EXPECT_TRUE(ConnectWithTimeout("127.0.0.1", listener.port(), 5000, ResolvesToLoopback(&calls)));
  EXPECT_EQ(calls.load(), 1);

  in_addr_t address = 0;
  EXPECT_EQ(qx::net::GetHostAddress("127.0.0.1", &address, 0, MustNotResolve()),
            qx::net::HostLookup::Found);
  EXPECT_EQ(address, htonl(INADDR_LOOPBACK));
}

TEST(ConnectProbe, LookupWithoutAnAddressFails) {
  bool answer = true;
  const std::string text = Diagnostics(
      [&] {
        return ConnectWithTimeout("nothing.test", 80, -1,
                                  [](const std::string&) { return std::optional<in_addr_t>(); });
      },
      &answer);
  EXPECT_FALSE(answer);
  EXPECT_EQ(text, "Unable to get host address\n");
}

TEST(ConnectProbe, LocalhostIsResolvedFromTheHostsFile) {
  std::ifstream hosts("/etc/hosts");
  std::string line;
  bool mapped = false;
  while (std::getline(hosts, line)) {
    std::istringstream words(line);
    std::string address, name;
    words >> address;
    while (address == "127.0.0.1" && words >> name) mapped = mapped || name == "localhost";
  }
  if (!mapped) GTEST_SKIP() << "localhost is not in /etc/hosts";
  probetest::Listener listener;
  EXPECT_TRUE(ConnectWithTimeout("localhost", listener.port(), -1));
}

// The caller stops waiting while the lookup still runs; the worker finishes
// later on the shared record, after the caller has returned.
TEST(ConnectProbe, SlowLookupTimesOutAndTheWorkerFinishesOnItsOwn) {
  struct Gate {
    std::mutex mutex;
    std::condition_variable changed;
    bool open = false;
    bool resolved = false;
  };
  auto gate = std::make_shared<Gate>();
  std::weak_ptr<Gate> watch = gate;
  HostResolver slow = [gate](const std::string&) -> std::optional<in_addr_t> {
    std::unique_lock<std::mutex> lock(gate->mutex);
    gate->changed.wait(lock, [&] { return gate->open; });
    gate->resolved = true;
    return htonl(INADDR_LOOPBACK);
  };

  probetest::Listener listener;
  bool answer = true;
  const std::string text = Diagnostics(
      [&] { return ConnectWithTimeout("slow.test", listener.port(), 50, slow); }, &answer);
  EXPECT_FALSE(answer);
  EXPECT_EQ(text, "Timeout getting host address\n");

  slow = nullptr;
  {
    std::lock_guard<std::mutex> lock(gate->mutex);
    EXPECT_FALSE(gate->resolved);
    gate->open = true;
  }
  gate->changed.notify_all();
  gate.reset();
  // The worker drops its copy of the resolver when it ends.
  for (int i = 0; i < 6000 && !watch.expired(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_TRUE(watch.expired()) << "the lookup worker did not finish";
}

TEST(ConnectProbe, DiagnosticsAreSilentUnlessRequested) {
  unsetenv("QXNET_DIAGNOSTICS");
  testing::internal::CaptureStderr();
  EXPECT_FALSE(ConnectWithTimeout(std::string(300, 'a'), 80, 1000, MustNotResolve()));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  setenv("QXNET_DIAGNOSTICS", "0", 1);
  testing::internal::CaptureStderr();
  EXPECT_FALSE(ConnectWithTimeout(std::string(300, 'a'), 80, 1000, MustNotResolve()));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

}  // namespace

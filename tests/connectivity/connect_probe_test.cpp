// The TCP connect probe against sockets on 127.0.0.1: accepted, refused and
// held-back connections, the argument rule, odd timeouts and host names, and
// the lookup worker that outlives its caller.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "net/connectivity/connect_probe.h"
#include "net/connectivity/host_lookup.h"
#include "tests/support/loopback_sockets.h"

namespace {

using qx::net::ConnectWithTimeout;
using qx::net::HostResolver;

// The probe's answer and what it wrote to stderr.
using Probed = std::pair<bool, std::string>;

// Runs `probe` with the diagnostics switched on.
template <class Probe>
Probed Diagnostics(Probe probe) {
  setenv("QXNET_DIAGNOSTICS", "1", 1);
  testing::internal::CaptureStderr();
  const bool answer = probe();
  Probed probed{answer, testing::internal::GetCapturedStderr()};
  unsetenv("QXNET_DIAGNOSTICS");
  return probed;
}

HostResolver MustNotResolve() {
  return [](const std::string& host) -> std::optional<in_addr_t> {
    ADD_FAILURE() << "unexpected lookup of " << host.substr(0, 40);
    return std::nullopt;
  };
}

TEST(ConnectProbe, ArgumentRule) {
  const struct {
    std::string host;
    std::int64_t port;
    bool valid;
  } cases[] = {{"127.0.0.1", 1, true},
               {"127.0.0.1", 65535, true},
               {"127.0.0.1", 0, false},
               {"127.0.0.1", 65536, false},
               {"127.0.0.1", -1, false},
               {"127.0.0.1", INT_MIN, false},
               {"127.0.0.1", std::int64_t{1} << 40, false},
               {"", 80, false},
               {std::string(10000, 'h'), 80, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.host.substr(0, 20) + ":" + std::to_string(c.port));
    EXPECT_EQ(qx::net::IsValidConnectTarget(c.host, c.port), c.valid);
  }
  EXPECT_FALSE(ConnectWithTimeout("127.0.0.1", 0, 1000, MustNotResolve()));
  EXPECT_FALSE(ConnectWithTimeout("", 80, 1000, MustNotResolve()));
}

TEST(ConnectProbe, ListeningAndClosedPortsWhateverTheTimeout) {
  qxtest::Listener listener;
  const std::uint16_t closed = qxtest::ClosedPort();
  for (const std::int32_t timeout : {1000, 0, -1, INT_MAX, INT_MIN}) {
    SCOPED_TRACE(timeout);
    const Probed open = Diagnostics([&] {
      return ConnectWithTimeout("127.0.0.1", listener.port(), timeout, MustNotResolve());
    });
    // A zero timeout may end before the handshake; every other one connects.
    if (timeout == 0) continue;
    EXPECT_EQ(open, Probed(true, ""));
    EXPECT_EQ(Diagnostics([&] { return ConnectWithTimeout("127.0.0.1", closed, timeout); }),
              Probed(false, ""));
  }
}

TEST(ConnectProbe, HighestPortIsUsable) {
  std::unique_ptr<qxtest::Listener> listener;
  try {
    listener = std::make_unique<qxtest::Listener>(16, 65535);
  } catch (const std::exception&) {
    GTEST_SKIP() << "port 65535 is taken on 127.0.0.1";
  }
  EXPECT_TRUE(ConnectWithTimeout("127.0.0.1", 65535, 1000, MustNotResolve()));
}

TEST(ConnectProbe, FullListenQueueRunsIntoTheTimeout) {
  qxtest::Listener listener(0);
  std::vector<int> clients;
  if (!qxtest::FillListenQueue(listener.port(), &clients)) {
    for (int fd : clients) close(fd);
    GTEST_SKIP() << "the listen queue cannot be filled on this system";
  }
  const Probed probed =
      Diagnostics([&] { return ConnectWithTimeout("127.0.0.1", listener.port(), 300); });
  for (int fd : clients) close(fd);
  EXPECT_EQ(probed, Probed(false, "Timeout\n"));
}

TEST(ConnectProbe, HostsThatCannotBeResolvedFailWithTheirMessage) {
  const HostResolver nothing = [](const std::string&) { return std::optional<in_addr_t>(); };
  const struct {
    std::string host;
    HostResolver resolver;
  } cases[] = {{std::string(10000, 'a'), MustNotResolve()},
               {std::string(64, 'b') + ".example", MustNotResolve()},  // label too long
               {std::string("127.0.0.1\0.evil", 15), MustNotResolve()},
               {"nothing.test", nothing}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.host.substr(0, 20));
    EXPECT_EQ(Diagnostics([&] { return ConnectWithTimeout(c.host, 80, -1, c.resolver); }),
              Probed(false, "Unable to get host address\n"));
  }
  // Without the switch (or with it at "0") nothing is written.
  for (const char* value : {static_cast<const char*>(nullptr), "0"}) {
    if (value) setenv("QXNET_DIAGNOSTICS", value, 1);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(ConnectWithTimeout(std::string(300, 'a'), 80, 1000, MustNotResolve()));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  }
  unsetenv("QXNET_DIAGNOSTICS");
}

TEST(ConnectProbe, NamesAreLookedUpAndNumericHostsUsedDirectly) {
  qxtest::Listener listener;
  std::atomic<int> calls{0};
  const HostResolver loopback = [&calls](const std::string&) -> std::optional<in_addr_t> {
    ++calls;
    return htonl(INADDR_LOOPBACK);
  };
  EXPECT_TRUE(ConnectWithTimeout("service.test", listener.port(), 5000, loopback));
  EXPECT_TRUE(ConnectWithTimeout("127.0.0.1", listener.port(), 5000, loopback));
  EXPECT_EQ(calls.load(), 1);
  in_addr_t address = 0;
  EXPECT_EQ(qx::net::GetHostAddress("127.0.0.1", &address, 0, MustNotResolve()),
            qx::net::HostLookup::Found);
  EXPECT_EQ(address, htonl(INADDR_LOOPBACK));
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
  qxtest::Listener listener;
  EXPECT_EQ(Diagnostics([&] { return ConnectWithTimeout("slow.test", listener.port(), 50, slow); }),
            Probed(false, "Timeout getting host address\n"));
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

}  // namespace

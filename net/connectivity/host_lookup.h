// Host-name lookup for the connect probe, run on a short-lived worker thread
// so that an unresponsive name service cannot hold the caller past its time
// limit. The worker and the caller share one reference-counted record; the
// caller may stop waiting and return while the worker is still running, and
// the record lives until the worker is done with it.
#pragma once

#include <netinet/in.h>

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

namespace qx::net {

// The record shared by the caller and the lookup worker (held by
// std::shared_ptr: the caller's reference and the worker's, the worker's
// taken before the worker starts).
struct GetHostAddressData {
  explicit GetHostAddressData(std::string host) : hostName(std::move(host)) {}
  const std::string hostName;
  std::mutex mutex;
  std::condition_variable finished;
  bool done = false;                 // guarded by mutex
  std::optional<in_addr_t> address;  // network byte order; guarded by mutex
};

// Resolves a host name to its first IPv4 address (network byte order), or
// nothing. The default is getaddrinfo with AF_INET; tests may put in another.
using HostResolver = std::function<std::optional<in_addr_t>(const std::string& host)>;
std::optional<in_addr_t> ResolveIpv4(const std::string& host);

// Unbounded wait for GetHostAddress.
inline constexpr std::uint32_t kWaitForever = 0xFFFFFFFFu;

enum class HostLookup {
  Found,     // `address` holds the host's address
  NotFound,  // the lookup finished without an IPv4 address for the host
  TimedOut,  // the wait ended first; the worker goes on by itself
};

// A dotted numeric IPv4 host ("a.b.c.d") is used directly, without a
// worker. Any other name is looked up on a worker thread that is waited for
// at most `waitMilliseconds` (kWaitForever: without limit). Names that no
// name service could hold (empty, longer than 253 characters, a label
// longer than 63, a NUL byte) are NotFound without a lookup.
HostLookup GetHostAddress(const std::string& host, in_addr_t* address,
                          std::uint32_t waitMilliseconds,
                          const HostResolver& resolver = ResolveIpv4);

}  // namespace qx::net

// Host lookup on a worker thread with a shared, reference-counted record.
#include "net/connectivity/host_lookup.h"

#include <arpa/inet.h>
#include <dlfcn.h>
#include <netdb.h>
#include <sys/socket.h>

#include <chrono>
#include <memory>
#include <thread>

namespace qx::net {
namespace {

bool IsPlausibleHostName(const std::string& host) {
  if (host.empty() || host.size() > 253) return false;
  size_t labelLength = 0;
  for (const char c : host) {
    if (c == '\0') return false;
    if (c == '.') {
      labelLength = 0;
    } else if (++labelLength > 63) {
      return false;
    }
  }
  return true;
}

// A lookup worker may still be running code of this library after its
// caller has returned, so the library must not be unloaded from then on.
void KeepLibraryLoaded() {
  static std::once_flag once;
  std::call_once(once, [] {
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&KeepLibraryLoaded), &info) != 0 &&
        info.dli_fname != nullptr) {
      // Marks the already loaded library as never to be unloaded; the handle
      // is deliberately kept.
      ::dlopen(info.dli_fname, RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE);
    }
  });
}

void GetHostAddressThread(const std::shared_ptr<GetHostAddressData>& record,
                          const HostResolver& resolver) {
  std::optional<in_addr_t> address;
  try {
    address = resolver(record->hostName);
  } catch (...) {
    address.reset();
  }
  {
    std::lock_guard<std::mutex> lock(record->mutex);
    record->address = address;
    record->done = true;
  }
  record->finished.notify_all();
  // The worker's reference is released when `record` goes out of scope.
}

}  // namespace

std::optional<in_addr_t> ResolveIpv4(const std::string& host) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  addrinfo* results = nullptr;
  if (::getaddrinfo(host.c_str(), nullptr, &hints, &results) != 0 || results == nullptr) {
    return std::nullopt;
  }
  std::optional<in_addr_t> address;
  for (const addrinfo* entry = results; entry != nullptr; entry = entry->ai_next) {
    if (entry->ai_family == AF_INET && entry->ai_addr != nullptr &&
        entry->ai_addrlen >= sizeof(sockaddr_in)) {
      address = reinterpret_cast<const sockaddr_in*>(entry->ai_addr)->sin_addr.s_addr;
      break;
    }
  }
  ::freeaddrinfo(results);
  return address;
}

HostLookup GetHostAddress(const std::string& host, in_addr_t* address,
                          std::uint32_t waitMilliseconds, const HostResolver& resolver) {
  if (!IsPlausibleHostName(host)) return HostLookup::NotFound;
  in_addr numeric{};
  if (::inet_pton(AF_INET, host.c_str(), &numeric) == 1) {
    if (address != nullptr) *address = numeric.s_addr;
    return HostLookup::Found;
  }

  // The caller's reference; a second one is handed to the worker before it
  // starts.
  auto record = std::make_shared<GetHostAddressData>(host);
  KeepLibraryLoaded();
  try {
    std::thread(GetHostAddressThread, record, resolver).detach();
  } catch (const std::system_error&) {
    return HostLookup::NotFound;
  }

  std::unique_lock<std::mutex> lock(record->mutex);
  const auto isDone = [&] { return record->done; };
  if (waitMilliseconds == kWaitForever) {
    record->finished.wait(lock, isDone);
  } else if (!record->finished.wait_for(lock, std::chrono::milliseconds(waitMilliseconds),
                                        isDone)) {
    return HostLookup::TimedOut;
  }
  if (!record->address) return HostLookup::NotFound;
  if (address != nullptr) *address = *record->address;
  return HostLookup::Found;
}

}  // namespace qx::net

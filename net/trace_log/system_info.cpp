#include "net/trace_log/system_info.h"

#include <arpa/inet.h>
#include <gnu/libc-version.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "qxnet/text.h"

namespace qx::net {

namespace {

// A text as a buffer of `capacity` characters holds it: terminated inside.
std::u16string Fit(std::string_view text, size_t capacity) {
  std::u16string wide = Utf8ToUtf16(text);
  if (wide.size() >= capacity) wide.resize(capacity - 1);
  return wide;
}

// PRETTY_NAME (else NAME) from /etc/os-release, unquoted.
std::string OsReleaseName() {
  std::ifstream file("/etc/os-release");
  std::string line, pretty, name;
  while (std::getline(file, line)) {
    auto take = [&](const char* key, std::string& into) {
      const std::string prefix = std::string(key) + "=";
      if (line.rfind(prefix, 0) != 0) return;
      into = line.substr(prefix.size());
      if (into.size() >= 2 && (into.front() == '"' || into.front() == '\''))
        into = into.substr(1, into.size() - 2);
    };
    take("PRETTY_NAME", pretty);
    take("NAME", name);
  }
  return pretty.empty() ? name : pretty;
}

std::string FirstIpv4Address() {
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return {};
  std::string found;
  for (ifaddrs* entry = list; entry && found.empty(); entry = entry->ifa_next) {
    if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET) continue;
    if ((entry->ifa_flags & IFF_UP) == 0 || (entry->ifa_flags & IFF_LOOPBACK) != 0) continue;
    char text[INET_ADDRSTRLEN] = {};
    const auto* address = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
    if (inet_ntop(AF_INET, &address->sin_addr, text, sizeof text)) found = text;
  }
  freeifaddrs(list);
  return found;
}

std::string UserName() {
  if (const passwd* entry = getpwuid(geteuid()); entry && entry->pw_name) return entry->pw_name;
  const char* fromEnvironment = std::getenv("USER");
  return fromEnvironment ? fromEnvironment : "";
}

}  // namespace

OsInfo GetOSInfo() {
  utsname system{};
  uname(&system);
  std::string release = system.release;
  std::string minor;
  if (auto dot = release.find('.'); dot != std::string::npos) {
    auto end = release.find_first_not_of("0123456789", dot + 1);
    minor = release.substr(dot + 1, end == std::string::npos ? std::string::npos : end - dot - 1);
  }
  OsInfo info;
  info.description = Fit(OsReleaseName() + " (" + system.sysname + " " + release + ")", 1024);
  info.buildNumber = Fit(system.version, 255);
  info.platform = Fit(std::string(system.sysname) + " " + system.machine, 1024);
  info.minorVersion = Fit(minor, 255);
  info.servicePack = Fit(std::string("glibc ") + gnu_get_libc_version(), 1024);
  return info;
}

NetworkInfo GetNetworkInfo() {
  utsname system{};
  uname(&system);
  char host[256] = {};
  gethostname(host, sizeof host - 1);
  NetworkInfo info;
  info.socketVersion =
      Fit(std::string("BSD sockets (") + system.sysname + " " + system.release + ")", 255);
  info.ipAddress = Fit(FirstIpv4Address(), 255);
  info.domainName = Fit(system.domainname == std::string("(none)") ? "" : system.domainname, 1024);
  info.computerName = Fit(host, 1024);
  info.userName = Fit(UserName(), 1024);
  return info;
}

}  // namespace qx::net

// The machine description written at the top of every QXNet object's trace:
// operating-system texts and network texts, each cut to the capacity the
// trace block gives it.
#pragma once

#include <string>

namespace qx::net {

struct OsInfo {
  std::u16string description;   // 1024
  std::u16string buildNumber;   // 255
  std::u16string platform;      // 1024
  std::u16string minorVersion;  // 255
  std::u16string servicePack;   // 1024
};

struct NetworkInfo {
  std::u16string socketVersion;  // 255
  std::u16string ipAddress;      // 255
  std::u16string domainName;     // 1024
  std::u16string computerName;   // 1024
  std::u16string userName;       // 1024
};

// uname, /etc/os-release and the C library's version.
OsInfo GetOSInfo();
// Host and domain names, the user name and the first non-loopback IPv4
// address of an interface that is up.
NetworkInfo GetNetworkInfo();

}  // namespace qx::net

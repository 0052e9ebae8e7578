// The connected state (the user's off-line switch in the registry) and the
// connection attempt (is there a network to reach the internet through).
#include <ifaddrs.h>
#include <net/if.h>
#include <net/route.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "net/internet_service/internet_service.h"
#include "net/internet_service/last_error.h"
#include "qxnet/registry_key.h"

namespace qx::inet {
namespace {

constexpr const char16_t* kInternetSettingsKey =
    u"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

bool UserChoseOffline() {
  RegistryKey key;
  if (!key.OpenForReading(HKEY_CURRENT_USER, kInternetSettingsKey)) return false;
  DWORD type = 0;
  DWORD value = 0;
  DWORD size = sizeof value;
  const LSTATUS status = RegQueryValueExW(key.Get(), u"GlobalUserOffline", nullptr, &type,
                                          reinterpret_cast<BYTE*>(&value), &size);
  return status == ERROR_SUCCESS && type == REG_DWORD && size == sizeof value && value == 1;
}

bool DefaultRouteExists() {
  std::ifstream routes("/proc/net/route");
  std::string line;
  std::getline(routes, line);  // column titles
  while (std::getline(routes, line)) {
    std::istringstream fields(line);
    std::string iface, destination, gateway, flags;
    if (!(fields >> iface >> destination >> gateway >> flags)) continue;
    const unsigned long bits = std::strtoul(flags.c_str(), nullptr, 16);
    if (destination == "00000000" && (bits & RTF_UP) != 0) return true;
  }
  return false;
}

bool NonLoopbackInterfaceUp() {
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return false;
  bool found = false;
  for (ifaddrs* entry = list; entry != nullptr && !found; entry = entry->ifa_next) {
    if (entry->ifa_addr == nullptr) continue;
    const int family = entry->ifa_addr->sa_family;
    if (family != AF_INET && family != AF_INET6) continue;
    const unsigned flags = entry->ifa_flags;
    found = (flags & IFF_UP) != 0 && (flags & IFF_RUNNING) != 0 && (flags & IFF_LOOPBACK) == 0;
  }
  freeifaddrs(list);
  return found;
}

}  // namespace

BOOL InternetQueryOptionW(HINTERNET handle, DWORD option, void* buffer, DWORD* bufferLength) {
  if (option != INTERNET_OPTION_CONNECTED_STATE || handle != nullptr) {
    SetLastError(ERROR_INTERNET_INVALID_OPTION);
    return FALSE;
  }
  if (bufferLength == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (buffer == nullptr || *bufferLength < sizeof(DWORD)) {
    *bufferLength = sizeof(DWORD);
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  const DWORD state =
      UserChoseOffline() ? INTERNET_STATE_DISCONNECTED_BY_USER : INTERNET_STATE_CONNECTED;
  std::memcpy(buffer, &state, sizeof state);
  *bufferLength = sizeof state;
  return TRUE;
}

DWORD InternetAttemptConnect(DWORD /*reserved*/) {
  bool online;
  const char* forced = std::getenv("QXNET_ONLINE");
  if (forced != nullptr && (std::strcmp(forced, "0") == 0 || std::strcmp(forced, "1") == 0)) {
    online = forced[0] == '1';
  } else {
    online = NonLoopbackInterfaceUp() || DefaultRouteExists();
  }
  if (online) return ERROR_SUCCESS;
  SetLastError(ERROR_INTERNET_DISCONNECTED);
  return ERROR_INTERNET_DISCONNECTED;
}

}  // namespace qx::inet

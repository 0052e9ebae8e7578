// Timeouts (60 s unless overridden) and the extra trusted certificates.
#include "net/internet_service/transfer_settings.h"

#include <sys/stat.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>

#include "net/internet_service/internet_service.h"

namespace qx::inet {
namespace {

constexpr int64_t kDefaultTimeoutMs = 60'000;

std::atomic<int64_t> g_connect_ms{-1};  // -1: environment or default
std::atomic<int64_t> g_stall_ms{-1};

std::chrono::milliseconds FromSettingOrEnvironment(const std::atomic<int64_t>& setting,
                                                   const char* variable) {
  const int64_t set = setting.load();
  if (set > 0) return std::chrono::milliseconds(set);
  if (const char* text = std::getenv(variable); text != nullptr && *text != '\0') {
    char* end = nullptr;
    const long long value = std::strtoll(text, &end, 10);
    if (end != text && *end == '\0' && value > 0) return std::chrono::milliseconds(value);
  }
  return std::chrono::milliseconds(kDefaultTimeoutMs);
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::string();
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

}  // namespace

void SetTransferTimeouts(std::chrono::milliseconds connectTimeout,
                         std::chrono::milliseconds stallTimeout) {
  g_connect_ms.store(connectTimeout.count() > 0 ? connectTimeout.count() : -1);
  g_stall_ms.store(stallTimeout.count() > 0 ? stallTimeout.count() : -1);
}

std::chrono::milliseconds ConnectTimeout() {
  return FromSettingOrEnvironment(g_connect_ms, "QXNET_CONNECT_TIMEOUT_MS");
}

std::chrono::milliseconds StallTimeout() {
  return FromSettingOrEnvironment(g_stall_ms, "QXNET_STALL_TIMEOUT_MS");
}

std::string ExtraTrustBundle(const std::string& systemBundlePath) {
  const char* extra = std::getenv("QXNET_CA_BUNDLE");
  if (extra == nullptr || *extra == '\0') return std::string();

  // Built again only when the system bundle's path or the extra file changes.
  static std::mutex mutex;
  static std::string cachedKey;
  static std::string cachedBundle;
  struct stat info {};
  stat(extra, &info);
  const std::string key = systemBundlePath + '\n' + extra + '\n' + std::to_string(info.st_mtim.tv_sec) +
                          '.' + std::to_string(info.st_mtim.tv_nsec) + '.' + std::to_string(info.st_size) +
                          '.' + std::to_string(info.st_ino);
  std::lock_guard<std::mutex> lock(mutex);
  if (key != cachedKey) {
    std::string bundle = systemBundlePath.empty() ? std::string() : ReadWholeFile(systemBundlePath);
    if (!bundle.empty() && bundle.back() != '\n') bundle.push_back('\n');
    bundle += ReadWholeFile(extra);
    cachedBundle = std::move(bundle);
    cachedKey = key;
  }
  return cachedBundle;
}

}  // namespace qx::inet

// Timeouts (60 s unless overridden), the speed floor (1 byte per second unless
// overridden) and the trusted certificates.
#include "net/internet_service/transfer_settings.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>

#include "net/internet_service/internet_service.h"

namespace qx::inet {
namespace {

constexpr int64_t kDefaultTimeoutMs = 60'000;
constexpr int64_t kDefaultLowSpeedLimit = 1;

std::atomic<int64_t> g_connect_ms{-1};  // -1: environment or default
std::atomic<int64_t> g_stall_ms{-1};
std::atomic<int64_t> g_low_speed{-1};

int64_t FromSettingOrEnvironment(const std::atomic<int64_t>& setting, const char* variable,
                                 int64_t fallback) {
  const int64_t set = setting.load();
  if (set > 0) return set;
  if (const char* text = std::getenv(variable); text != nullptr && *text != '\0') {
    char* end = nullptr;
    const long long value = std::strtoll(text, &end, 10);
    if (end != text && *end == '\0' && value > 0) return value;
  }
  return fallback;
}

// The value of an environment variable, empty when unset.
std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? std::string(value) : std::string();
}

// Why `path` (named by `variable`) cannot be read, empty when it can.
std::string UnreadableReason(const char* variable, const std::string& path, bool folder) {
  struct stat info {};
  int error = 0;
  // NOLINTNEXTLINE(bugprone-branch-clone): each branch reads errno of its own call
  if (stat(path.c_str(), &info) != 0) {
    error = errno;
  } else if (folder != S_ISDIR(info.st_mode)) {
    error = folder ? ENOTDIR : EISDIR;
  } else if (access(path.c_str(), folder ? (R_OK | X_OK) : R_OK) != 0) {
    error = errno;
  }
  if (error == 0) return std::string();
  return std::string("The certificate ") + (folder ? "folder" : "bundle") + " named by " +
         variable + " (" + path + ") cannot be read: " + std::strerror(error);
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

void SetLowSpeedLimit(long bytesPerSecond) {
  g_low_speed.store(bytesPerSecond > 0 ? bytesPerSecond : -1);
}

std::chrono::milliseconds ConnectTimeout() {
  return std::chrono::milliseconds(
      FromSettingOrEnvironment(g_connect_ms, "QXNET_CONNECT_TIMEOUT_MS", kDefaultTimeoutMs));
}

std::chrono::milliseconds StallTimeout() {
  return std::chrono::milliseconds(
      FromSettingOrEnvironment(g_stall_ms, "QXNET_STALL_TIMEOUT_MS", kDefaultTimeoutMs));
}

long LowSpeedLimit() {
  return static_cast<long>(
      FromSettingOrEnvironment(g_low_speed, "QXNET_LOW_SPEED_LIMIT", kDefaultLowSpeedLimit));
}

namespace {

// The system bundle plus the QXNET_CA_BUNDLE file, as one PEM text.
std::string CombinedBundle(const std::string& bundlePath, const char* extra) {
  // Built again only when the bundle's path or the extra file changes.
  static std::mutex mutex;
  static std::string cachedKey;
  static std::string cachedBundle;
  struct stat info {};
  stat(extra, &info);
  const std::string key = bundlePath + '\n' + extra + '\n' + std::to_string(info.st_mtim.tv_sec) +
                          '.' + std::to_string(info.st_mtim.tv_nsec) + '.' +
                          std::to_string(info.st_size) + '.' + std::to_string(info.st_ino);
  std::lock_guard<std::mutex> lock(mutex);
  if (key != cachedKey) {
    std::string bundle = bundlePath.empty() ? std::string() : ReadWholeFile(bundlePath);
    if (!bundle.empty() && bundle.back() != '\n') bundle.push_back('\n');
    bundle += ReadWholeFile(extra);
    cachedBundle = std::move(bundle);
    cachedKey = key;
  }
  return cachedBundle;
}

}  // namespace

TrustSources ResolveTrustSources(const std::string& systemBundlePath) {
  TrustSources sources;
  const char* bundleVariable = nullptr;
  if (std::string named = Environment("CURL_CA_BUNDLE"); !named.empty()) {
    bundleVariable = "CURL_CA_BUNDLE";
    sources.bundleFile = std::move(named);
  } else {
    if (std::string named = Environment("SSL_CERT_FILE"); !named.empty()) {
      bundleVariable = "SSL_CERT_FILE";
      sources.bundleFile = std::move(named);
    }
    sources.certFolder = Environment("SSL_CERT_DIR");
  }
  if (bundleVariable != nullptr) {
    sources.problem = UnreadableReason(bundleVariable, sources.bundleFile, false);
  }
  if (sources.problem.empty() && !sources.certFolder.empty()) {
    sources.problem = UnreadableReason("SSL_CERT_DIR", sources.certFolder, true);
  }
  const std::string extra = Environment("QXNET_CA_BUNDLE");
  if (sources.problem.empty() && !extra.empty()) {
    sources.problem = UnreadableReason("QXNET_CA_BUNDLE", extra, false);
    if (sources.problem.empty()) {
      sources.extraPem = CombinedBundle(
          sources.bundleFile.empty() ? systemBundlePath : sources.bundleFile, extra.c_str());
    }
  }
  return sources;
}

}  // namespace qx::inet

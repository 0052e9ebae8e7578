// Process-wide transfer settings: timeouts, the speed floor and the trusted
// certificates.
#pragma once

#include <chrono>
#include <string>

namespace qx::inet {

std::chrono::milliseconds ConnectTimeout();
std::chrono::milliseconds StallTimeout();
// Bytes per second a transfer must average over each stall period.
long LowSpeedLimit();

// Where the trusted certificates come from, decided from the environment in
// the usual order: CURL_CA_BUNDLE names the bundle; otherwise SSL_CERT_FILE
// names it and SSL_CERT_DIR names a hashed certificate folder; otherwise the
// system bundle libcurl was built with. QXNET_CA_BUNDLE adds one PEM file on
// top of whichever bundle applies.
struct TrustSources {
  std::string bundleFile;  // empty: libcurl's own default
  std::string certFolder;  // empty: none
  std::string extraPem;    // bundle + QXNET_CA_BUNDLE, when that is set
  std::string problem;     // why a named bundle or folder cannot be used
};
TrustSources ResolveTrustSources(const std::string& systemBundlePath);

}  // namespace qx::inet

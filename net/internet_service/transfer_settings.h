// Process-wide transfer settings: timeouts and the trusted certificates.
#pragma once

#include <chrono>
#include <string>

namespace qx::inet {

std::chrono::milliseconds ConnectTimeout();
std::chrono::milliseconds StallTimeout();

// PEM text to trust: the system bundle libcurl would use plus the file named
// by QXNET_CA_BUNDLE. Empty when QXNET_CA_BUNDLE is unset (libcurl's own
// defaults then apply).
std::string ExtraTrustBundle(const std::string& systemBundlePath);

}  // namespace qx::inet

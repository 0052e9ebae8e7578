// The last-error number that stands for a failed libcurl transfer.
#pragma once

#include <curl/curl.h>

#include <string>
#include <string_view>

#include "qxnet/platform.h"

namespace qx::inet {

// `easy` is asked for the certificate verification result, and `detail`
// (libcurl's error text) read, when the failure is about the server's
// certificate.
DWORD InternetErrorFromCurl(CURLcode code, CURL* easy, const char* detail);

// What the transfer was going through when it failed, to say which party
// failed.
struct FailureContext {
  std::string proxy;  // the proxy in effect, empty when connecting directly
  bool secure = false;
};

// A failed transfer's code and message: libcurl's text, said plainly when it
// was the proxy that failed or when a redirect from https to http was
// refused as a downgrade (then ERROR_HTTP_REDIRECT_FAILED).
struct TransferFailure {
  DWORD code;
  std::string message;
};
TransferFailure DescribeCurlFailure(CURLcode code, CURL* easy, const char* detail,
                                    const FailureContext& context);

// The proxy libcurl takes from the environment for a URL of `scheme` (lower
// case), empty when none is set; no_proxy is left to libcurl.
std::string EnvironmentProxy(std::string_view scheme);

}  // namespace qx::inet

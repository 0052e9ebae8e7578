// The last-error number that stands for a failed libcurl transfer.
#pragma once

#include <curl/curl.h>

#include "qxnet/platform.h"

namespace qx::inet {

// `easy` is asked for the certificate verification result, and `detail`
// (libcurl's error text) read, when the failure is about the server's
// certificate.
DWORD InternetErrorFromCurl(CURLcode code, CURL* easy, const char* detail);

}  // namespace qx::inet

// The last-error number that stands for a failed libcurl transfer.
#pragma once

#include <curl/curl.h>

#include "qxnet/platform.h"

namespace qx::inet {

// `easy` is asked for the certificate verification result when the failure
// is about the server's certificate.
DWORD InternetErrorFromCurl(CURLcode code, CURL* easy);

}  // namespace qx::inet

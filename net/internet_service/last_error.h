// Internal side of the per-thread last error: failing operations record the
// code together with the text of the layer that failed.
#pragma once

#include <string>

#include "net/internet_service/internet_service.h"

namespace qx::inet {

// Sets the last error and the detail text GetErrorMessage gives for it.
void SetLastErrorDetail(DWORD code, std::string detail);
// Sets the last error from errno-style failure: code and strerror(err).
void SetLastErrorFromErrno(int err);
// A fixed description of a code, empty when unknown.
std::string DescribeErrorCode(DWORD code);

}  // namespace qx::inet

// Result codes and texts for failed file-system calls of the DOM layer.
#pragma once

#include <string>

#include "qxnet/platform.h"

namespace qx::xml {

// The result code that stands for an errno value (access denied, path not
// found, disk full, out of memory; E_FAIL for the rest).
HRESULT HResultFromErrno(int error);

// The system's text for an errno value.
std::string ErrnoText(int error);

}  // namespace qx::xml

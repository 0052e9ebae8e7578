// Transfers through a QXNet object with the progress bar attached, and the
// Ctrl-C rule: a call that failed after the sink answered a cancel ends
// with Cancelled (exit 130) instead of CallFailed.
#pragma once

#include <string>

#include "qxnet/qxnetlib.h"
#include "tools/qxnet/progress_display.h"

namespace qxcli {

// RetrieveFile of `url`; `destination` empty keeps the file in the internet
// cache. Returns the path of the downloaded file.
std::string RetrieveWithProgress(_QXNet* net, const std::string& url,
                                 const std::string& destination, ProgressDisplay& display);

// UploadFile of `file` to `url`; `answer` empty lets the library choose the
// answer file. Returns the path of the answer file.
std::string UploadWithProgress(_QXNet* net, const std::string& file, const std::string& url,
                               const std::string& answer, ProgressDisplay& display);

}  // namespace qxcli

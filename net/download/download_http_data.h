// Reading a response body into a file as it arrives.
#pragma once

#include <cstdint>
#include <string>

#include "net/transfer_state.h"

namespace qx::net {

// Reads the response body into `outputPath` (none when empty), reporting
// the bytes received so far as progress from the counter at the start of
// the body towards 90. A failure or cancel deletes the output file and
// throws. With `resumeFrom`, the body continues the file's first
// `resumeFrom` bytes (a 206 answer); with `keepWhenCut`, a body cut short by
// the network leaves the file as far as it got, for a later range request.
void DownloadHttpData(TransferState& transfer, inet::HINTERNET request,
                      const std::u16string& outputPath, bool querySize, bool showProgress,
                      uint64_t resumeFrom = 0, bool keepWhenCut = false);

}  // namespace qx::net

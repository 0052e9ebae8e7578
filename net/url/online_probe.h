// The on-line probes: the user's off-line switch and the connection attempt.
#pragma once

#include "net/transfer_state.h"

namespace qx::net {

// True when the user has set the system off line.
bool IsGlobalOffline();

// True when a connection to the internet exists or could be made; with
// showProgress advances the progress with "Attempting to connect to the
// internet" first (may throw "Canceled").
bool AttemptInternetConnection(TransferState& transfer, bool showProgress);

}  // namespace qx::net

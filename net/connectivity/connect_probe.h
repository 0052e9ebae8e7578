// The TCP connect probe: does a host accept a connection on a port within a
// time limit. Every failure answers false; a failure with a text shows the
// text as a diagnostic (probe_diagnostics.h) and is never reported further.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "net/connectivity/host_lookup.h"

namespace qx::net {

// The argument rule of the probe's public method: a host that is not empty
// and a port from 1 to 65535. The timeout is not checked.
bool IsValidConnectTarget(std::string_view host, std::int64_t port);

// Connects to `host` (UTF-8 text) on `port`.
//  - An empty host or port 0 answers false at once.
//  - The host lookup may take `timeoutMilliseconds`; a negative timeout waits
//    without limit. Not finished in time: "Timeout getting host address".
//    Finished without an address: "Unable to get host address".
//  - Socket creation: "Unable to create socket"; non-blocking mode:
//    "Error setting non-blocking mode on socket".
//  - A connection that is neither made nor refused at once is waited for up
//    to the whole timeout again (negative: without limit). Not made in time:
//    "Timeout"; the wait itself fails: "select error: <errno>". A refused or
//    failed connection answers false without a text.
//  - True only when the socket is connected to the resolved address.
bool ConnectWithTimeout(const std::string& host, std::uint16_t port,
                        std::int32_t timeoutMilliseconds,
                        const HostResolver& resolver = ResolveIpv4);

}  // namespace qx::net

// Sending a request: resends, authentication and the judgement of the
// status.
#pragma once

#include <cstdint>

#include "net/transfer_state.h"

namespace qx::net {

inline constexpr int kMaxResendsInARow = 10;

// Sends, authenticates on 401/407, resends on request (at most
// kMaxResendsInARow in a row) and judges the status: returns on 200 (or 0),
// throws the status table's message otherwise. A range request
// (`rangeRequest`) also returns on 206 and 416, which its caller judges.
// `parent` owns the credential prompt.
void SendHttpRequest(TransferState& transfer, inet::HINTERNET request, const char16_t* headers,
                     const void* body, DWORD bodyLength, HWND parent, bool rangeRequest = false);

// A window handle passed to a public member as a 32-bit value.
inline HWND WindowFromLong(LONG value) {
  return reinterpret_cast<HWND>(static_cast<intptr_t>(value));
}

}  // namespace qx::net

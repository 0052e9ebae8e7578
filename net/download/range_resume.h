// Continuing a cut-short download with a range request: which responses
// may be continued later, the request's headers, and whether a 206 answer
// really continues the bytes held.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "net/internet_service/internet_service.h"
#include "net/internet_service/url_cache_admin.h"

namespace qx::net {

// A response field's value, or nullopt when the response has none.
std::optional<std::u16string> ResponseField(inet::HINTERNET request, std::u16string_view name);

// The response's status code; 0 when there is no response.
uint32_t ResponseStatus(inet::HINTERNET request);

// For a complete (200) response that a range request could continue — it
// carries a strong validator (an ETag, else Last-Modified), Accept-Ranges:
// bytes and a non-zero length — the partial download to record for `path`.
std::optional<inet::PartialDownload> ResumableBody(inet::HINTERNET request,
                                                   const std::string& path);

// Whether such a body is recorded before it starts, so that even a killed
// process leaves it to continue; a short one is recorded only when the
// network cuts it short.
bool RecordedAtStart(const inet::PartialDownload& partial);

// "Range: bytes=N-" and "If-Range: <validator>" as request header lines.
std::u16string RangeRequestHeaders(uint64_t offset, const std::string& validator);

// Reads a Content-Range value "bytes FIRST-LAST/TOTAL".
struct ContentRange {
  uint64_t first = 0, last = 0, total = 0;
};
std::optional<ContentRange> ParseContentRange(std::string_view text);

// Whether a 206 answer continues `partial` at `offset`: its range starts
// there and runs to the end of the same total, and its validator is the
// one recorded.
bool RangeAnswerContinues(inet::HINTERNET request, uint64_t offset,
                          const inet::PartialDownload& partial);

}  // namespace qx::net

#include "net/download/range_resume.h"

#include <algorithm>
#include <vector>

#include "net/request_pipeline/trace_text.h"
#include "qxnet/text.h"

namespace qx::net {
namespace {

// A body at least this long is recorded as a partial download before it
// starts; a shorter one only when the network cuts it short, which spares
// the usual small download a write to the cache index.
constexpr uint64_t kRecordedAtStartBody = uint64_t{128} * 1024;

std::optional<uint64_t> Decimal(std::string_view text) {
  if (text.empty() || text.size() > 19) return std::nullopt;
  uint64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  return value;
}

std::string Trimmed(const std::string& text) {
  const size_t start = text.find_first_not_of(" \t");
  if (start == std::string::npos) return std::string();
  const size_t end = text.find_last_not_of(" \t");
  return text.substr(start, end - start + 1);
}

std::optional<std::string> Field(inet::HINTERNET request, std::u16string_view name) {
  const std::optional<std::u16string> value = ResponseField(request, name);
  if (!value) return std::nullopt;
  return Trimmed(Utf16ToUtf8(*value));
}

bool IsStrongEtag(const std::string& etag) { return etag.size() >= 2 && etag.front() == '"'; }

// The validator a range request may name in If-Range.
std::optional<std::string> StrongValidator(inet::HINTERNET request) {
  if (std::optional<std::string> etag = Field(request, u"ETag"); etag && IsStrongEtag(*etag)) {
    return etag;
  }
  if (std::optional<std::string> modified = Field(request, u"Last-Modified");
      modified && !modified->empty()) {
    return modified;
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::u16string> ResponseField(inet::HINTERNET request, std::u16string_view name) {
  std::vector<char16_t> buffer(name.begin(), name.end());
  buffer.resize(std::max<size_t>(buffer.size() + 1, 128), u'\0');
  for (int attempt = 0; attempt < 2; ++attempt) {
    DWORD size = static_cast<DWORD>(buffer.size() * sizeof(char16_t));
    if (inet::HttpQueryInfoW(request, inet::HTTP_QUERY_CUSTOM, buffer.data(), &size, nullptr)) {
      return std::u16string(buffer.data(), size / sizeof(char16_t));
    }
    if (inet::GetLastError() != inet::ERROR_INSUFFICIENT_BUFFER) return std::nullopt;
    // The name goes in again: the failed query may have left the buffer as it was.
    buffer.assign(size / sizeof(char16_t) + 1, u'\0');
    std::copy(name.begin(), name.end(), buffer.begin());
  }
  return std::nullopt;
}

uint32_t ResponseStatus(inet::HINTERNET request) {
  DWORD status = 0;
  DWORD size = sizeof(status);
  if (!inet::HttpQueryInfoW(request, inet::HTTP_QUERY_STATUS_CODE | inet::HTTP_QUERY_FLAG_NUMBER,
                            &status, &size, nullptr)) {
    return 0;
  }
  return status;
}

std::optional<inet::PartialDownload> ResumableBody(inet::HINTERNET request,
                                                   const std::string& path) {
  if (ResponseStatus(request) != 200) return std::nullopt;
  const std::optional<std::string> ranges = Field(request, u"Accept-Ranges");
  if (!ranges || *ranges != "bytes") return std::nullopt;
  const std::optional<std::string> length = Field(request, u"Content-Length");
  const std::optional<uint64_t> total = length ? Decimal(*length) : std::nullopt;
  if (!total || *total == 0) return std::nullopt;
  std::optional<std::string> validator = StrongValidator(request);
  if (!validator) return std::nullopt;
  return inet::PartialDownload{path, std::move(*validator), *total};
}

std::u16string RangeRequestHeaders(uint64_t offset, const std::string& validator) {
  return u"Range: bytes=" + DecimalText(static_cast<long long>(offset)) + u"-\r\nIf-Range: " +
         Utf8ToUtf16(validator) + u"\r\n";
}

bool RecordedAtStart(const inet::PartialDownload& partial) {
  return partial.total >= kRecordedAtStartBody;
}

std::optional<ContentRange> ParseContentRange(std::string_view text) {
  constexpr std::string_view kUnit = "bytes ";
  if (text.substr(0, kUnit.size()) != kUnit) return std::nullopt;
  text.remove_prefix(kUnit.size());
  const size_t dash = text.find('-');
  const size_t slash = text.find('/');
  if (dash == std::string_view::npos || slash == std::string_view::npos || slash < dash) {
    return std::nullopt;
  }
  const auto first = Decimal(text.substr(0, dash));
  const auto last = Decimal(text.substr(dash + 1, slash - dash - 1));
  const auto total = Decimal(text.substr(slash + 1));
  if (!first || !last || !total || *first > *last || *last >= *total) return std::nullopt;
  return ContentRange{*first, *last, *total};
}

bool RangeAnswerContinues(inet::HINTERNET request, uint64_t offset,
                          const inet::PartialDownload& partial) {
  const std::optional<std::string> text = Field(request, u"Content-Range");
  const std::optional<ContentRange> range = text ? ParseContentRange(*text) : std::nullopt;
  if (!range || range->first != offset || range->total != partial.total ||
      range->last + 1 != partial.total) {
    return false;
  }
  // A body of another length than the range would not end where it should.
  if (const std::optional<std::string> length = Field(request, u"Content-Length")) {
    const std::optional<uint64_t> bytes = Decimal(*length);
    if (!bytes || *bytes != partial.total - offset) return false;
  }
  const std::optional<std::string> validator =
      Field(request, IsStrongEtag(partial.validator) ? u"ETag" : u"Last-Modified");
  return validator && *validator == partial.validator;
}

}  // namespace qx::net

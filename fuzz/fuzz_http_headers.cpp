// Response header lines as the internet service reads them: the input is
// split into lines and read into a header block. Reading the block's own
// text (`raw`) again gives the same block, every field is found by its
// name, and a status comes only from a status line.
#include <string>
#include <string_view>

#include "fuzz/harness.h"
#include "net/internet_service/response_headers.h"

using namespace qx::inet;

namespace {

// Reads `text` line by line, each line handed over with its '\n' as libcurl does.
ResponseHeaders Read(std::string_view text, std::string_view separator) {
  ResponseHeaders block;
  while (!text.empty()) {
    const size_t end = text.find(separator);
    const size_t length = end == std::string_view::npos ? text.size() : end + separator.size();
    AddHeaderLine(block, text.substr(0, length));
    text.remove_prefix(length);
  }
  return block;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const ResponseHeaders block = Read(text, "\n");

  const ResponseHeaders again = Read(block.raw, "\r\n");
  FUZZ_REQUIRE(again.raw == block.raw, block.raw);
  FUZZ_REQUIRE(again.status == block.status, block.raw);
  FUZZ_REQUIRE(again.version == block.version, block.raw);
  FUZZ_REQUIRE(again.reason == block.reason, block.raw);
  FUZZ_REQUIRE(again.fields == block.fields, block.raw);

  for (const auto& [name, value] : block.fields) {
    FUZZ_REQUIRE(name.find(':') == std::string::npos, name);
    FUZZ_REQUIRE(block.Find(name) != nullptr, name);
  }
  if (block.raw.rfind("HTTP/", 0) != 0)
    FUZZ_REQUIRE(block.status == 0 && block.version.empty(), block.raw);
  return 0;
}

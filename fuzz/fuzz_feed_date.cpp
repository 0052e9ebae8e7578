// Feed dates: a date that reads is written in a form that reads back to the
// same date, and that form is a fixed point of writing and reading.
#include <cmath>

#include "feed/feed_date.h"
#include "fuzz/harness.h"
#include "qxnet/text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::u16string text = qxfuzz::InputText(data, size);
  const DATE date = qx::feed::ParseFeedDate(text);
  FUZZ_REQUIRE(std::isfinite(date), qx::Utf16ToUtf8(text));
  if (date == 0.0) return 0;
  const std::u16string written = qx::feed::FormatFeedDate(date);
  const DATE reread = qx::feed::ParseFeedDate(written);
  FUZZ_REQUIRE(reread == date, qx::Utf16ToUtf8(text) + " -> " + qx::Utf16ToUtf8(written));
  FUZZ_REQUIRE(qx::feed::FormatFeedDate(reread) == written, qx::Utf16ToUtf8(written));
  return 0;
}

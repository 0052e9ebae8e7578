// The outcome of one step of reading or writing a feed document: success, a
// failure with the message that the document reports for it, or a failure
// that the object which failed has already reported (its code is passed on).
#pragma once

#include <string>
#include <string_view>

#include "qxnet/platform.h"

namespace qx::feed {

struct FeedStatus {
  HRESULT hr = S_OK;
  // Empty when the failing call posted its own error record.
  std::u16string message;

  bool Failed() const { return FAILED(hr); }

  static FeedStatus Ok() { return {}; }
  static FeedStatus Report(std::u16string_view message, HRESULT hr) {
    return {hr, std::u16string(message)};
  }
  static FeedStatus PassOn(HRESULT hr) { return {hr, {}}; }
};

}  // namespace qx::feed

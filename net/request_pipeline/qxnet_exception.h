// CQXNetException: the failure of one step of the internet-transfer object.
// It carries the exact text reported to the caller; every internal step
// throws it and the public method turns it into an E_FAIL error record.
#pragma once

#include <string>
#include <utility>

namespace qx::net {

class CQXNetException {
 public:
  explicit CQXNetException(std::u16string message) : message_(std::move(message)) {}
  const std::u16string& Message() const { return message_; }

 private:
  std::u16string message_;
};

}  // namespace qx::net

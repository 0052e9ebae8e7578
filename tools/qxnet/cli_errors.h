// The exit statuses, and the three ways a command ends early.
#pragma once

#include <stdexcept>
#include <string>

#include "qxnet/platform.h"

namespace qxcli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitCallFailed = 1;
inline constexpr int kExitUsage = 2;
// The yes/no commands: "no" is 1, so a failure there is 3.
inline constexpr int kExitNo = 1;
inline constexpr int kExitQueryFailed = 3;
inline constexpr int kExitCancelled = 130;

// The command line is wrong (exit 2).
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A call into the library failed (exit 1); the text is the error record's
// description, or a description of the result code when there is none.
class CallFailed : public std::runtime_error {
 public:
  CallFailed(HRESULT hr, const std::string& description)
      : std::runtime_error(description), hr_(hr) {}
  HRESULT Code() const { return hr_; }

 private:
  HRESULT hr_;
};

// The user pressed Ctrl-C and the library honoured it (exit 130).
class Cancelled : public std::runtime_error {
 public:
  explicit Cancelled(const std::string& description) : std::runtime_error(description) {}
};

}  // namespace qxcli

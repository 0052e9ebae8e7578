// The failure of one upload step, holding the exact message text that the
// internet-transfer object reports to its caller.
#pragma once

#include <stdexcept>
#include <string>

namespace qx::net {

class UploadError : public std::runtime_error {
 public:
  explicit UploadError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace qx::net

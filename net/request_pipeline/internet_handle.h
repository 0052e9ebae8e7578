// InternetHandleOwner: the one owner of an internet-service handle (a
// request a public call opens, or a session of its own), closed on every
// path when the owner goes, or earlier through Close().
#pragma once

#include "net/internet_service/internet_service.h"

namespace qx::net {

class InternetHandleOwner {
 public:
  InternetHandleOwner() = default;
  explicit InternetHandleOwner(inet::HINTERNET handle) : handle_(handle) {}
  ~InternetHandleOwner() { Close(); }
  InternetHandleOwner(const InternetHandleOwner&) = delete;
  InternetHandleOwner& operator=(const InternetHandleOwner&) = delete;

  inet::HINTERNET get() const { return handle_; }
  // The handle to set; closes the one held first.
  inet::HINTERNET& Put() {
    Close();
    return handle_;
  }
  bool IsOpen() const { return handle_ != nullptr; }
  void Close() {
    if (handle_) {
      inet::InternetCloseHandle(handle_);
      handle_ = nullptr;
    }
  }

 private:
  inet::HINTERNET handle_ = nullptr;
};

}  // namespace qx::net

// BStr: owns one BSTR (null means "no string"), freed with SysFreeString
// when the BStr goes; FromUtf8()/Utf8() convert at the UTF-8 boundary.
// Installed for clients; the library's own code uses the same header.
#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "qxnet/platform.h"
#include "qxnet/text.h"

namespace qx {

class BStr {
 public:
  BStr() = default;
  explicit BStr(std::u16string_view text)
      : s_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
  explicit BStr(const char16_t* text) : s_(text ? SysAllocString(text) : nullptr) {}
  static BStr FromUtf8(std::string_view text) { return BStr(Utf8ToUtf16(text)); }
  // Adopts a string the caller owns.
  static BStr Attach(BSTR s) {
    BStr result;
    result.s_ = s;
    return result;
  }

  BStr(const BStr& other)
      : s_(other.s_ ? SysAllocStringLen(other.s_, SysStringLen(other.s_)) : nullptr) {}
  BStr(BStr&& other) noexcept : s_(std::exchange(other.s_, nullptr)) {}
  BStr& operator=(BStr other) noexcept {
    std::swap(s_, other.s_);
    return *this;
  }
  ~BStr() { SysFreeString(s_); }

  BSTR Get() const { return s_; }
  BSTR Detach() { return std::exchange(s_, nullptr); }
  // Address for an out-parameter; frees what was held first.
  BSTR* Put() {
    SysFreeString(std::exchange(s_, nullptr));
    return &s_;
  }
  // A new copy for the caller, with the full length; null stays null.
  BSTR Copy() const { return s_ ? SysAllocStringLen(s_, SysStringLen(s_)) : nullptr; }

  bool IsNull() const { return s_ == nullptr; }
  UINT Length() const { return SysStringLen(s_); }
  std::u16string_view View() const { return BstrView(s_); }
  std::u16string Text() const { return std::u16string(View()); }
  std::string Utf8() const { return Utf16ToUtf8(View()); }

 private:
  BSTR s_ = nullptr;
};

}  // namespace qx

// Hands a text back through a public member's in/out string argument.
#pragma once

#include <new>
#include <string_view>

#include "qxnet/platform.h"

namespace qx::net {

// Replaces the caller's string by `text`, freeing the old one; throws
// std::bad_alloc (leaving the old string) when no copy can be made.
inline void ReplaceString(BSTR* target, std::u16string_view text) {
  BSTR replacement = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  if (!replacement) throw std::bad_alloc();
  SysFreeString(*target);
  *target = replacement;
}

}  // namespace qx::net

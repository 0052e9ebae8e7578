#include "tools/qxnet/com_call.h"

#include <cstdio>

#include "qxnet/bstr.h"
#include "qxnet/com_ptr.h"
#include "qxnet/text.h"

namespace qxcli {

std::string HresultText(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
  return text;
}

std::string KnownResultText(HRESULT hr) {
  OLECHAR text[512];
  DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                static_cast<DWORD>(hr), 0, text, 512, nullptr);
  // The message ends with a line break and a full stop, which a caller
  // appending it to its own sentence does not want.
  while (length > 0 &&
         (text[length - 1] == u'\n' || text[length - 1] == u'\r' || text[length - 1] == u'.'))
    --length;
  return qx::Utf16ToUtf8(std::u16string_view(text, length));
}

void ClearErrorRecord() { SetErrorInfo(0, nullptr); }

std::string TakeErrorDescription() {
  qx::ComPtr<IErrorInfo> record;
  if (GetErrorInfo(0, record.Put()) != S_OK || !record) return {};
  qx::BStr description;
  if (FAILED(record->GetDescription(description.Put()))) return {};
  return description.Utf8();
}

void Check(HRESULT hr, std::string_view what) {
  if (SUCCEEDED(hr)) return;
  std::string description = TakeErrorDescription();
  if (description.empty()) {
    description = std::string(what);
    std::string known = KnownResultText(hr);
    if (!known.empty()) description += ": " + known;
  }
  throw CallFailed(hr, description);
}

}  // namespace qxcli

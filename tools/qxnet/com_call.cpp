#include "tools/qxnet/com_call.h"

#include <cstdio>

#include "platform/com/text.h"
#include "server/object_frame/bstr.h"
#include "server/object_frame/com_ptr.h"

namespace qxcli {

std::string HresultText(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
  return text;
}

std::string KnownResultText(HRESULT hr) {
  switch (static_cast<uint32_t>(hr)) {
    case 0x80004001u: return "Not implemented";
    case 0x80004002u: return "No such interface supported";
    case 0x80004003u: return "Invalid pointer";
    case 0x80004004u: return "Operation aborted";
    case 0x80004005u: return "Unspecified error";
    case 0x8007000Eu: return "Out of memory";
    case 0x80070057u: return "Invalid parameter";
    case 0x80040111u: return "Class not available in its module";
    case 0x80040154u: return "Class not registered";
    case 0x800401F3u: return "Invalid class string";
    case 0x800401F8u: return "The class's module could not be loaded";
    case 0x800401F9u: return "The class's module has no entry point";
    case 0x80020003u: return "Member not found";
    case 0x80020005u: return "Type mismatch";
    case 0x80020006u: return "Unknown name";
    case 0x80020007u: return "Named arguments not supported";
    case 0x8002000Au: return "Out of present range";
    case 0x8002000Eu: return "Invalid number of parameters";
    case 0x8002000Fu: return "Parameter not optional";
    case 0x80040200u: return "Connection point not found";
    default: return {};
  }
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

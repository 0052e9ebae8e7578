#include "tools/qxnet/object_creation.h"

#include "qxnet/text.h"
#include "tools/qxnet/com_call.h"

namespace qxcli {

std::string FullProgId(std::string_view name) {
  if (name.empty() || name.front() == '{' || name.find('.') != std::string_view::npos)
    return std::string(name);
  return "QXNet." + std::string(name);
}

namespace {

HRESULT LookUpClass(std::string_view name, CLSID* clsid) {
  const std::u16string text = qx::Utf8ToUtf16(FullProgId(name));
  if (!text.empty() && text.front() == u'{') return CLSIDFromString(text.c_str(), clsid);
  return CLSIDFromProgID(text.c_str(), clsid);
}

}  // namespace

CLSID ClassIdOf(std::string_view name) {
  CLSID clsid{};
  CheckCreation(LookUpClass(name, &clsid), name);
  return clsid;
}

HRESULT TryCreate(std::string_view name, const IID& iid, void** out) {
  *out = nullptr;
  CLSID clsid{};
  ClearErrorRecord();
  HRESULT hr = LookUpClass(name, &clsid);
  if (FAILED(hr)) return hr;
  return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, out);
}

void CheckCreation(HRESULT hr, std::string_view name) {
  if (SUCCEEDED(hr)) return;
  const std::string progId = FullProgId(name);
  std::string description = TakeErrorDescription();
  if (description.empty()) {
    switch (static_cast<uint32_t>(hr)) {
      case 0x80040154u:  // REGDB_E_CLASSNOTREG
      case 0x800401F3u:  // CO_E_CLASSSTRING
        description = "Class " + progId +
                      " is not registered; run `qxnet register` (or `qxnet register --system` "
                      "as root, for every user)";
        break;
      case 0x80040111u:  // CLASS_E_CLASSNOTAVAILABLE
        description = "Class " + progId + " is not available in the registered module";
        break;
      case 0x800401F8u:  // CO_E_DLLNOTFOUND
        description = "The module registered for " + progId +
                      " cannot be loaded (run `qxnet register` again)";
        break;
      default: {
        description = "Unable to create " + progId;
        const std::string known = KnownResultText(hr);
        if (!known.empty()) description += ": " + known;
      }
    }
  }
  throw CallFailed(hr, description);
}

}  // namespace qxcli

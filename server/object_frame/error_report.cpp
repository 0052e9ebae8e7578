#include "server/object_frame/error_report.h"

#include <string>

#include "qxnet/com_ptr.h"
#include "server/module/object_map.h"

namespace qx {

std::u16string SourceProgIdOf(const CLSID& clsid) {
  LPOLESTR registered = nullptr;
  if (SUCCEEDED(ProgIDFromCLSID(clsid, &registered)) && registered) {
    std::u16string result(registered);
    CoTaskMemFree(registered);
    return result;
  }
  if (const ClassEntry* entry = FindClassEntry(clsid)) return entry->progId;
  return {};
}

HRESULT ReportError(const CLSID& clsid, std::u16string_view description, const IID& iid,
                    HRESULT hr) {
  if (hr == S_OK) hr = DISP_E_EXCEPTION;
  ComPtr<ICreateErrorInfo> create;
  if (FAILED(CreateErrorInfo(create.Put()))) return hr;
  std::u16string source = SourceProgIdOf(clsid);
  std::u16string text(description);
  create->SetGUID(iid);
  create->SetSource(source.data());
  create->SetDescription(text.data());
  create->SetHelpContext(0);
  if (ComPtr<IErrorInfo> record = create.As<IErrorInfo>()) SetErrorInfo(0, record.Get());
  return hr;
}

}  // namespace qx

// Members of QXNet whose work is not in the module yet: each answers
// "Not implemented" through the object's normal error report.
#include "net/qxnet.h"

namespace qx {

namespace {
constexpr std::u16string_view kNotImplemented = u"Not implemented";
}

HRESULT CQXNet::UploadFile(BSTR, BSTR, LONG, BSTR*) { return Error(kNotImplemented, E_NOTIMPL); }
HRESULT CQXNet::ValidateUrl(BSTR) { return Error(kNotImplemented, E_NOTIMPL); }
HRESULT CQXNet::GetCacheInfo(BSTR, LONG, VARIANT_BOOL*, VARIANT_BOOL*, BSTR*) {
  return Error(kNotImplemented, E_NOTIMPL);
}
HRESULT CQXNet::get_IsConnected(VARIANT_BOOL*) { return Error(kNotImplemented, E_NOTIMPL); }
HRESULT CQXNet::CanConnect(BSTR, VARIANT_BOOL*) { return Error(kNotImplemented, E_NOTIMPL); }
HRESULT CQXNet::UploadFileForm(BSTR, BSTR, LONG, BSTR, VARIANT_BOOL) {
  return Error(kNotImplemented, E_NOTIMPL);
}
HRESULT CQXNet::AttemptConnect(BSTR, LONG, LONG, VARIANT_BOOL*) {
  return Error(kNotImplemented, E_NOTIMPL);
}

}  // namespace qx

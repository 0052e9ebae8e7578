#include "server/event_source/qxnet_event_source.h"

#include "qxnet/com_ptr.h"
#include "qxnet/variant.h"
#include "server/object_frame/no_connection_points.h"

namespace qx {

namespace {
constexpr DISPID kOnProgress = 1;
constexpr DISPID kEnd = 2;
}  // namespace

HRESULT STDMETHODCALLTYPE QXNetEventSource::EnumConnectionPoints(IEnumConnectionPoints** ppEnum) {
  IConnectionPoint* points[] = {&point_};
  return CreateConnectionPointEnumerator(points, 1, ppEnum);
}

HRESULT STDMETHODCALLTYPE QXNetEventSource::FindConnectionPoint(REFIID riid,
                                                                IConnectionPoint** ppCP) {
  if (!ppCP) return E_POINTER;
  *ppCP = nullptr;
  if (riid != point_.Interface()) return CONNECT_E_NOCONNECTION;
  point_.AddRef();
  *ppCP = &point_;
  return S_OK;
}

HRESULT QXNetEventSource::Fire_OnProgress(BSTR title, LONG progress, VARIANT_BOOL* cancel) {
  VARIANT_BOOL privateFlag = VARIANT_FALSE;
  if (!cancel) cancel = &privateFlag;
  // Dispatch order: the last parameter first. The variants only borrow the
  // title and the flag, so they are not cleared afterwards.
  VARIANTARG args[3];
  for (VARIANTARG& arg : args) VariantInit(&arg);
  args[0].vt = VT_BOOL | VT_BYREF;
  args[0].pboolVal = cancel;
  args[1].vt = VT_I4;
  args[1].lVal = progress;
  args[2].vt = VT_BSTR;
  args[2].bstrVal = title;
  DISPPARAMS params{args, nullptr, 3, 0};
  InvokeEverySink(kOnProgress, &params);
  return S_OK;
}

HRESULT QXNetEventSource::Fire_End() {
  DISPPARAMS params{nullptr, nullptr, 0, 0};
  InvokeEverySink(kEnd, &params);
  return S_OK;
}

void QXNetEventSource::InvokeEverySink(DISPID id, DISPPARAMS* params) {
  // The slot count is taken once; a slot a sink empties while we fire is
  // seen as empty by the rest of the loop. A sink's failure is not reported.
  const size_t slots = point_.Connections().SlotCount();
  for (size_t slot = 0; slot < slots; ++slot) {
    IUnknown* stored = point_.Connections().At(slot);
    if (!stored) continue;
    // The stored pointer answered the event interface, a dispatch interface.
    ComPtr<IDispatch> sink(static_cast<IDispatch*>(stored));
    Variant result;
    sink->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, params, &result, nullptr,
                 nullptr);
  }
}

}  // namespace qx

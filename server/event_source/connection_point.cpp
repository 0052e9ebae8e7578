#include "server/event_source/connection_point.h"

#include <new>
#include <vector>

#include "server/event_source/connection_enumerator.h"

namespace qx {

HRESULT STDMETHODCALLTYPE ConnectionPoint::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  if (riid == IID_IConnectionPoint || riid == IID_IUnknown) {
    *object = static_cast<IConnectionPoint*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE ConnectionPoint::AddRef() { return container_->AddRef(); }
ULONG STDMETHODCALLTYPE ConnectionPoint::Release() { return container_->Release(); }

HRESULT STDMETHODCALLTYPE ConnectionPoint::GetConnectionInterface(IID* pIID) {
  if (!pIID) return E_POINTER;
  *pIID = iid_;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE
ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** ppCPC) {
  if (!ppCPC) return E_POINTER;
  container_->AddRef();
  *ppCPC = container_;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ConnectionPoint::Advise(IUnknown* pUnkSink, DWORD* pdwCookie) {
  if (pdwCookie) *pdwCookie = 0;
  if (!pUnkSink || !pdwCookie) return E_POINTER;
  IUnknown* sink = nullptr;
  HRESULT hr = pUnkSink->QueryInterface(iid_, reinterpret_cast<void**>(&sink));
  if (hr == E_NOINTERFACE) return CONNECT_E_CANNOTCONNECT;
  if (FAILED(hr)) return hr;
  if (!sink) return CONNECT_E_CANNOTCONNECT;  // a success without a pointer
  DWORD cookie = connections_.Add(sink);
  if (cookie == 0) {
    sink->Release();
    return CONNECT_E_ADVISELIMIT;
  }
  *pdwCookie = cookie;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ConnectionPoint::Unadvise(DWORD dwCookie) {
  IUnknown* sink = connections_.Remove(dwCookie);
  if (!sink) return CONNECT_E_NOCONNECTION;
  sink->Release();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ConnectionPoint::EnumConnections(IEnumConnections** ppEnum) {
  if (!ppEnum) return E_POINTER;
  *ppEnum = nullptr;
  try {
    std::vector<CONNECTDATA> current;
    for (size_t slot = 0; slot < connections_.SlotCount(); ++slot) {
      if (IUnknown* sink = connections_.At(slot))
        current.push_back(CONNECTDATA{sink, static_cast<DWORD>(slot + 1)});
    }
    return CreateConnectionEnumerator(current, ppEnum);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace qx

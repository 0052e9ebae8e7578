#include "server/object_frame/create_object.h"

namespace qx {

HRESULT CreateByProgId(const char16_t* progId, REFIID riid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  CLSID clsid;
  HRESULT hr = CLSIDFromString(progId, &clsid);
  if (FAILED(hr)) return hr;
  hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, riid, object);
  if (FAILED(hr)) return hr;
  return *object ? hr : E_FAIL;
}

HRESULT CreateByClassId(const CLSID& clsid, DWORD context, REFIID riid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  HRESULT hr = CoCreateInstance(clsid, nullptr, context, riid, object);
  if (SUCCEEDED(hr) && !*object) return E_FAIL;
  return hr;
}

HRESULT GetClassFactory(const CLSID& clsid, DWORD context, ComPtr<IClassFactory>& factory) {
  factory.Reset();
  HRESULT hr = CoGetClassObject(clsid, context, nullptr, IID_IClassFactory, factory.PutVoid());
  if (SUCCEEDED(hr) && !factory) return E_FAIL;
  return hr;
}

HRESULT CreateFromFactory(IClassFactory& factory, REFIID riid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  HRESULT hr = factory.CreateInstance(nullptr, riid, object);
  if (SUCCEEDED(hr) && !*object) return E_FAIL;
  return hr;
}

}  // namespace qx

// A small object for the runtime tests: counts its references, answers
// IDispatch (unless told not to) and returns a settable default value.
#pragma once

#include "qxnet/platform.h"

namespace comtest {

class CountingObject : public IDispatch {
 public:
  explicit CountingObject(bool dispatchable = true) : dispatchable_(dispatchable) {
    VariantInit(&defaultValue_);
  }
  ~CountingObject() { VariantClear(&defaultValue_); }
  CountingObject(const CountingObject&) = delete;
  CountingObject& operator=(const CountingObject&) = delete;

  // References held by others (the test owns the object itself).
  ULONG refs() const { return refs_; }
  int invokeCalls() const { return invokeCalls_; }
  // The default value handed out by Invoke(DISPID_VALUE); copied in.
  void SetDefaultValue(const VARIANT& value) { VariantCopy(&defaultValue_, &value); }
  void FailInvokeWith(HRESULT hr) { invokeResult_ = hr; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IUnknown || (dispatchable_ && riid == IID_IDispatch)) {
      *ppv = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs_; }

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO*, UINT*) override {
    ++invokeCalls_;
    if (FAILED(invokeResult_)) return invokeResult_;
    if (id != DISPID_VALUE || !(flags & DISPATCH_PROPERTYGET) || !params || params->cArgs != 0 ||
        !result)
      return DISP_E_MEMBERNOTFOUND;
    return VariantCopy(result, &defaultValue_);
  }

 private:
  bool dispatchable_;
  ULONG refs_ = 0;
  int invokeCalls_ = 0;
  HRESULT invokeResult_ = S_OK;
  VARIANT defaultValue_;
};

}  // namespace comtest

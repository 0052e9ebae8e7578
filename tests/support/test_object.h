// The IUnknown of the tests' hand-written objects: an object implementing
// interface I (with IUnknown, and IDispatch when I derives from it) that
// counts its references and, made with new, deletes itself at the last
// release; one that lives on the test's stack only counts.
#pragma once

#include <type_traits>

#include "qxnet/qxnetlib.h"

namespace qxtest {

enum class Lifetime { Heap, Stack };

template <class I, Lifetime lifetime = Lifetime::Heap>
class TestObject : public I {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    *object = Find(riid);
    if (!*object) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --refs;
    if (left == 0 && lifetime == Lifetime::Heap) delete this;
    return left;
  }

  virtual ~TestObject() = default;

  ULONG refs = 1;

 protected:
  // The object's pointer for `riid`, or null; extended by objects that
  // answer further identifiers.
  virtual void* Find(REFIID riid) {
    if (riid == IID_IUnknown || riid == qx_iid_of<I>::value) return static_cast<I*>(this);
    if constexpr (std::is_base_of_v<IDispatch, I>) {
      if (riid == IID_IDispatch) return static_cast<I*>(this);
    }
    return nullptr;
  }
};

// A TestObject whose IDispatch members answer E_NOTIMPL: it is called
// through its vtable only.
template <class I, Lifetime lifetime = Lifetime::Heap>
class VtableOnlyObject : public TestObject<I, lifetime> {
 public:
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    return E_NOTIMPL;
  }
};

}  // namespace qxtest

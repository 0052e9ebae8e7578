// EventSink: the base of a client's sink for an object's outgoing dispatch
// interface. It answers QueryInterface for IUnknown, IDispatch and the
// events interface it was made for, counts references atomically (events may
// come from any thread) and frees itself at zero. A sink describes no types;
// the derived class names its events (GetIDsOfNames) and handles them
// (Invoke).
// Installed for clients; the project's own tools use the same header.
#pragma once

#include <atomic>

#include "qxnet/qxnetlib.h"

namespace qx {

class EventSink : public IDispatch {
 public:
  explicit EventSink(const IID& events) : events_(events) {}
  EventSink(const EventSink&) = delete;
  EventSink& operator=(const EventSink&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == events_) {
      AddRef();
      *out = static_cast<IDispatch*>(this);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    if (info) *info = nullptr;
    return E_NOTIMPL;
  }

 protected:
  virtual ~EventSink() = default;

 private:
  const IID events_;
  std::atomic<ULONG> refs_{1};
};

}  // namespace qx

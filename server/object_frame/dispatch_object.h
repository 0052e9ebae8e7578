// DispatchObject: the one object base of the library's classes.
//
// It implements IUnknown (identity, reference counting, aggregation with a
// controlling outer unknown, the module lock), IDispatch for the class's
// primary dual interface through the type library description, and
// ISupportErrorInfo. A class derives from it and implements its primary
// interface's members:
//
//   class CUpdateItem final
//       : public qx::DispatchObject<CUpdateItem, IUpdateItem, qx::SingleThreaded,
//                                   qx::NoConnectionPoints> {
//    public:
//     static constexpr const CLSID& kClsid = CLSID_UpdateItem;
//     ...
//   };
//   QX_OBJECT_ENTRY(CLSID_UpdateItem, CUpdateItem)   // in the .cpp
//
// `Extras` are further interfaces the object answers for: plain interface
// structs the class implements (for example _QXNetConnect) or mixins that
// implement one (they name it as `using Interface = ...`).
#pragma once

#include <atomic>
#include <new>
#include <string_view>
#include <type_traits>

#include "qxnet/qxnetlib.h"
#include "server/object_frame/error_report.h"
#include "server/object_frame/module_lock.h"
#include "server/type_library/type_library.h"

namespace qx {

// Apartment classes count references with plain arithmetic.
struct SingleThreaded {
  using Count = ULONG;
  static ULONG Increment(Count& c) { return ++c; }
  static ULONG Decrement(Count& c) { return --c; }
};

// The free-threaded class counts atomically.
struct FreeThreaded {
  using Count = std::atomic<ULONG>;
  static ULONG Increment(Count& c) { return c.fetch_add(1, std::memory_order_relaxed) + 1; }
  static ULONG Decrement(Count& c) { return c.fetch_sub(1, std::memory_order_acq_rel) - 1; }
};

namespace detail {
template <class T, class = void>
struct InterfaceOf {
  using type = T;
};
template <class T>
struct InterfaceOf<T, std::void_t<typename T::Interface>> {
  using type = typename T::Interface;
};
}  // namespace detail

template <class T>
HRESULT CreateComObject(IUnknown* outer, REFIID riid, void** object);

template <class Derived, class Primary, class Threading = SingleThreaded, class... Extras>
class DispatchObject : public Primary, public ISupportErrorInfo, public Extras... {
 public:
  using PrimaryInterface = Primary;

  // IUnknown of every interface: goes to the controlling unknown, which is
  // the outer object when aggregated and our own inner unknown otherwise.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    return controlling_->QueryInterface(riid, object);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return controlling_->AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return controlling_->Release(); }

  // IDispatch, driven by the type library's description of Primary.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
    if (!info) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    return typelib::GetTypeInfo(qx_iid_of<Primary>::value, info);
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) override {
    if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    return typelib::GetIDsOfNames(qx_iid_of<Primary>::value, names, count, ids);
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr) override {
    if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    return typelib::Invoke(qx_iid_of<Primary>::value, static_cast<Primary*>(this), id, flags,
                           params, result, excepInfo, argErr);
  }

  // ISupportErrorInfo: only the primary interface reports error records.
  HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override {
    return riid == qx_iid_of<Primary>::value ? S_OK : S_FALSE;
  }

  DispatchObject(const DispatchObject&) = delete;
  DispatchObject& operator=(const DispatchObject&) = delete;

 protected:
  DispatchObject() : inner_(this), controlling_(&inner_) { LockModule(); }
  virtual ~DispatchObject() { UnlockModule(); }

  // Construction step after allocation; a failure destroys the object.
  HRESULT FinalConstruct() { return S_OK; }

  // Further interfaces a class answers for beyond Primary and Extras.
  void* QueryExtraInterface(REFIID) { return nullptr; }

  // The interface identifier placed in this class's error records.
  static const IID& ErrorInterface() { return qx_iid_of<Primary>::value; }

  // Posts an error record for this class and returns `hr`.
  HRESULT Error(std::u16string_view description, HRESULT hr) const {
    return ReportError(Derived::kClsid, description, Derived::ErrorInterface(), hr);
  }

  // This object's own IUnknown (its identity when not aggregated).
  IUnknown* InnerUnknown() { return &inner_; }

 private:
  template <class T>
  friend HRESULT CreateComObject(IUnknown* outer, REFIID riid, void** object);

  // The non-delegating unknown: owns the count and answers the queries.
  struct Inner final : IUnknown {
    explicit Inner(DispatchObject* owner) : owner(owner) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
      return owner->InternalQueryInterface(riid, object);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return Threading::Increment(owner->refs_); }
    ULONG STDMETHODCALLTYPE Release() override {
      ULONG left = Threading::Decrement(owner->refs_);
      if (left == 0) delete owner;
      return left;
    }
    DispatchObject* owner;
  };

  HRESULT InternalQueryInterface(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    void* found = nullptr;
    if (riid == IID_IUnknown) {
      found = static_cast<IUnknown*>(&inner_);
    } else if (riid == IID_IDispatch || riid == qx_iid_of<Primary>::value) {
      found = static_cast<Primary*>(this);
    } else if (riid == IID_ISupportErrorInfo) {
      found = static_cast<ISupportErrorInfo*>(this);
    } else {
      found = QueryExtras(riid);
      if (!found) found = static_cast<Derived*>(this)->QueryExtraInterface(riid);
    }
    *object = found;
    if (!found) return E_NOINTERFACE;
    static_cast<IUnknown*>(found)->AddRef();
    return S_OK;
  }

  void* QueryExtras(REFIID riid) {
    void* found = nullptr;
    (void)((riid == qx_iid_of<typename detail::InterfaceOf<Extras>::type>::value
                ? (found = static_cast<typename detail::InterfaceOf<Extras>::type*>(
                       static_cast<Extras*>(this)),
                   true)
                : false) ||
           ...);
    return found;
  }

  Inner inner_;
  IUnknown* controlling_;
  typename Threading::Count refs_{0};
};

// Creates an object of class T, plain or (with `outer`) aggregated, and
// queries it for `riid`. With an outer unknown only IUnknown may be asked
// for. The object is destroyed again if construction or the query fails.
template <class T>
HRESULT CreateComObject(IUnknown* outer, REFIID riid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (outer && riid != IID_IUnknown) return CLASS_E_NOAGGREGATION;
  T* created = new (std::nothrow) T();
  if (!created) return E_OUTOFMEMORY;
  if (outer) created->controlling_ = outer;
  IUnknown* inner = &created->inner_;
  inner->AddRef();  // keeps the object alive while it is set up
  HRESULT hr = NoThrow([&] { return created->FinalConstruct(); });
  if (SUCCEEDED(hr)) hr = inner->QueryInterface(riid, object);
  inner->Release();
  return hr;
}

}  // namespace qx

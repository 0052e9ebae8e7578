// Error records and the calling thread's current record.
//
// CreateErrorInfo makes a record that is written through ICreateErrorInfo and
// read through IErrorInfo. Each thread holds at most one current record;
// GetErrorInfo hands it over to the caller and clears it, and a record still
// held when its thread ends is released then.
#include <atomic>
#include <new>

#include "qxnet/platform.h"

namespace {

class ErrorRecord final : public ICreateErrorInfo, public IErrorInfo {
 public:
  ErrorRecord() = default;
  ErrorRecord(const ErrorRecord&) = delete;
  ErrorRecord& operator=(const ErrorRecord&) = delete;

  // IUnknown (shared by both interfaces; identity is the ICreateErrorInfo base)
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_ICreateErrorInfo) {
      *ppv = static_cast<ICreateErrorInfo*>(this);
    } else if (riid == IID_IErrorInfo) {
      *ppv = static_cast<IErrorInfo*>(this);
    } else {
      *ppv = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override {
    return refs_.fetch_add(1, std::memory_order_relaxed) + 1;
  }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) delete this;
    return left;
  }

  // ICreateErrorInfo
  HRESULT STDMETHODCALLTYPE SetGUID(REFGUID rguid) override {
    guid_ = rguid;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetSource(LPOLESTR szSource) override {
    return Store(&source_, szSource);
  }
  HRESULT STDMETHODCALLTYPE SetDescription(LPOLESTR szDescription) override {
    return Store(&description_, szDescription);
  }
  HRESULT STDMETHODCALLTYPE SetHelpFile(LPOLESTR szHelpFile) override {
    return Store(&helpFile_, szHelpFile);
  }
  HRESULT STDMETHODCALLTYPE SetHelpContext(DWORD dwHelpContext) override {
    helpContext_ = dwHelpContext;
    return S_OK;
  }

  // IErrorInfo
  HRESULT STDMETHODCALLTYPE GetGUID(GUID* pGUID) override {
    if (!pGUID) return E_INVALIDARG;
    *pGUID = guid_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetSource(BSTR* pBstrSource) override {
    return Hand(source_, pBstrSource);
  }
  HRESULT STDMETHODCALLTYPE GetDescription(BSTR* pBstrDescription) override {
    return Hand(description_, pBstrDescription);
  }
  HRESULT STDMETHODCALLTYPE GetHelpFile(BSTR* pBstrHelpFile) override {
    return Hand(helpFile_, pBstrHelpFile);
  }
  HRESULT STDMETHODCALLTYPE GetHelpContext(DWORD* pdwHelpContext) override {
    if (!pdwHelpContext) return E_INVALIDARG;
    *pdwHelpContext = helpContext_;
    return S_OK;
  }

 private:
  ~ErrorRecord() {
    SysFreeString(source_);
    SysFreeString(description_);
    SysFreeString(helpFile_);
  }

  // Replaces a field with a copy of text (null clears it).
  static HRESULT Store(BSTR* field, const OLECHAR* text) {
    BSTR copy = nullptr;
    if (text) {
      copy = SysAllocString(text);
      if (!copy) return E_OUTOFMEMORY;
    }
    SysFreeString(*field);
    *field = copy;
    return S_OK;
  }

  // Gives the caller its own copy of a field (null when the field is unset).
  static HRESULT Hand(BSTR field, BSTR* out) {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    if (!field) return S_OK;
    *out = SysAllocStringLen(field, SysStringLen(field));
    return *out ? S_OK : E_OUTOFMEMORY;
  }

  std::atomic<ULONG> refs_{1};
  GUID guid_ = GUID_NULL;
  BSTR source_ = nullptr;
  BSTR description_ = nullptr;
  BSTR helpFile_ = nullptr;
  DWORD helpContext_ = 0;
};

// The calling thread's current record; released when the thread ends.
class ThreadErrorSlot {
 public:
  ~ThreadErrorSlot() { Replace(nullptr); }
  void Replace(IErrorInfo* record) {
    IErrorInfo* old = record_;
    record_ = record;
    if (old) old->Release();
  }
  IErrorInfo* Take() {
    IErrorInfo* taken = record_;
    record_ = nullptr;
    return taken;
  }

 private:
  IErrorInfo* record_ = nullptr;
};

thread_local ThreadErrorSlot t_currentError;

}  // namespace

extern "C" {

HRESULT CreateErrorInfo(ICreateErrorInfo** pperrinfo) {
  if (!pperrinfo) return E_INVALIDARG;
  *pperrinfo = new (std::nothrow) ErrorRecord();
  return *pperrinfo ? S_OK : E_OUTOFMEMORY;
}

HRESULT SetErrorInfo(ULONG dwReserved, IErrorInfo* perrinfo) {
  if (dwReserved != 0) return E_INVALIDARG;
  // Take the new reference before dropping the old one: they may be the same.
  if (perrinfo) perrinfo->AddRef();
  t_currentError.Replace(perrinfo);
  return S_OK;
}

HRESULT GetErrorInfo(ULONG dwReserved, IErrorInfo** pperrinfo) {
  if (dwReserved != 0 || !pperrinfo) return E_INVALIDARG;
  *pperrinfo = t_currentError.Take();
  return *pperrinfo ? S_OK : S_FALSE;
}

}  // extern "C"

#include "server/collections/variant_enumerator.h"

#include <new>

#include "qxnet/com_ptr.h"
#include "server/object_frame/helper_object.h"

namespace qx {

namespace {

class VariantEnumerator final : public HelperObject<IEnumVARIANT> {
 public:
  VariantEnumerator(IUnknown* owner, const EnumerationSource* source, size_t position)
      : owner_(owner), source_(source), position_(position) {}

  HRESULT STDMETHODCALLTYPE Next(ULONG count, VARIANT* out, ULONG* fetched) override {
    if (!out || (count > 1 && !fetched)) return E_POINTER;
    if (fetched) *fetched = 0;
    ULONG done = 0;
    while (done < count && position_ < source_->EnumerationCount()) {
      VariantInit(&out[done]);
      HRESULT hr = source_->EnumerationElement(position_, &out[done]);
      if (FAILED(hr)) {
        // Nothing is handed out when an element cannot be copied.
        for (ULONG i = 0; i <= done; ++i) VariantClear(&out[i]);
        return hr;
      }
      ++position_;
      ++done;
    }
    if (fetched) *fetched = done;
    return done == count ? S_OK : S_FALSE;
  }

  HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
    size_t size = source_->EnumerationCount();
    size_t left = position_ < size ? size - position_ : 0;
    if (count > left) {
      position_ = size;
      return S_FALSE;
    }
    position_ += count;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE Reset() override {
    position_ = 0;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    auto* clone = new (std::nothrow) VariantEnumerator(owner_.Get(), source_, position_);
    if (!clone) return E_OUTOFMEMORY;
    clone->AddRef();
    *out = clone;
    return S_OK;
  }

 private:
  ComPtr<IUnknown> owner_;
  const EnumerationSource* source_;
  size_t position_;
};

}  // namespace

HRESULT CreateVariantEnumerator(IUnknown* owner, const EnumerationSource* source,
                                IUnknown** enumerator) {
  if (!enumerator) return E_POINTER;
  *enumerator = nullptr;
  auto* created = new (std::nothrow) VariantEnumerator(owner, source, 0);
  if (!created) return E_OUTOFMEMORY;
  created->AddRef();
  *enumerator = static_cast<IEnumVARIANT*>(created);
  return S_OK;
}

}  // namespace qx

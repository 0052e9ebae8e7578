// Hand-written stand-ins used by the collection tests: an IUpdateItem of
// another implementation.
#pragma once

#include <string>

#include "qxnet/bstr.h"
#include "qxnet/qxnetlib.h"
#include "tests/support/test_object.h"

namespace collections_test {

// An item of another implementation: only guid and pubDate hold values.
class ForeignItem final : public qxtest::VtableOnlyObject<IUpdateItem> {
 public:
  explicit ForeignItem(std::u16string guid, DATE date = 0) : guid(std::move(guid)), date(date) {}

  HRESULT STDMETHODCALLTYPE get_guid(BSTR* out) override {
    *out = qx::BStr(guid).Detach();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_guid(BSTR value) override {
    guid = qx::BstrView(value);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_pubDate(DATE* out) override {
    *out = date;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE MarshallObject(BSTR* out) override {
    *out = qx::BStr(u"<item><guid>" + guid + u"</guid></item>").Detach();
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE get_title(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_title(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_link(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_link(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_description(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_description(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_category(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_category(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_pubDate(DATE) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE UnMarshallObject(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_status(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_status(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_required(VARIANT_BOOL*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_required(VARIANT_BOOL) override { return E_NOTIMPL; }

  std::u16string guid;
  DATE date;
};

}  // namespace collections_test

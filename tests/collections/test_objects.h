// What the collection tests share: module items made by guid, the guids of a
// list in order, and an IUpdateItem of another implementation.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "qxnet/bstr.h"
#include "qxnet/qxnetlib.h"
#include "tests/support/com_test.h"
#include "tests/support/test_object.h"

namespace collections_test {

// A module item with `guid` (none when null) and `date`.
inline qx::ComPtr<IUpdateItem> NewItem(const char16_t* guid, DATE date = 1.0) {
  qx::ComPtr<IUpdateItem> item = qxtest::Create<IUpdateItem>(CLSID_UpdateItem);
  if (guid) {
    EXPECT_EQ(item->put_guid(qx::BStr(guid).Get()), S_OK);
  }
  item->put_pubDate(date);
  return item;
}

inline LONG CountOf(IUpdateItems* list) {
  LONG count = -1;
  EXPECT_EQ(list->get_Count(&count), S_OK);
  return count;
}

inline std::vector<std::u16string> Guids(IUpdateItems* list) {
  std::vector<std::u16string> guids;
  for (LONG i = 0; i < CountOf(list); ++i) {
    qx::ComPtr<IUpdateItem> item;
    EXPECT_EQ(list->Item(i, item.Put()), S_OK);
    qx::BStr guid;
    item->get_guid(guid.Put());
    guids.push_back(guid.Text());
  }
  return guids;
}

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

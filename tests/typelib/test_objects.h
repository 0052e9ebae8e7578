// Small hand-written objects for the dispatch tests: each implements one
// interface of the library and answers IDispatch by forwarding to the type
// library layer, the way the library's own classes do.
#pragma once

#include <string>
#include <vector>

#include "qxnet/bstr.h"
#include "qxnet/com_ptr.h"
#include "qxnet/qxnetlib.h"
#include "server/type_library/type_library.h"
#include "tests/support/test_object.h"

namespace typelib_test {

// Posts an error record on this thread, as a failing method does.
inline HRESULT PostError(const GUID& iid, const char16_t* source, const char16_t* description,
                         HRESULT hr) {
  qx::ComPtr<ICreateErrorInfo> create;
  if (SUCCEEDED(CreateErrorInfo(create.Put()))) {
    create->SetGUID(iid);
    create->SetSource(const_cast<LPOLESTR>(source));
    create->SetDescription(const_cast<LPOLESTR>(description));
    qx::ComPtr<IErrorInfo> info = create.As<IErrorInfo>();
    SetErrorInfo(0, info.Get());
  }
  return hr;
}

// IUnknown and IDispatch of a test object whose primary interface is I.
template <class I>
class Dispatching : public qxtest::TestObject<I> {
 public:
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
    if (index != 0) return DISP_E_BADINDEX;
    return qx::typelib::GetTypeInfo(qx_iid_of<I>::value, info);
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) override {
    return qx::typelib::GetIDsOfNames(qx_iid_of<I>::value, names, count, ids);
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr) override {
    return qx::typelib::Invoke(qx_iid_of<I>::value, this, id, flags, params, result, excepInfo,
                               argErr);
  }
};

// An update item: stored properties, and UnMarshallObject that fails on
// request ("fail" posts an error record, "bare" fails without one).
class TestItem final : public Dispatching<IUpdateItem> {
 public:
// A stored property: `get` reads it out, `put` stores what it is given.
#define TEST_PROPERTY(type, name, get, put)                  \
  HRESULT STDMETHODCALLTYPE get_##name(type* out) override { \
    *out = get;                                              \
    return S_OK;                                             \
  }                                                          \
  HRESULT STDMETHODCALLTYPE put_##name(type in) override {   \
    name = put;                                              \
    return S_OK;                                             \
  }
#define TEST_STRING_PROPERTY(name) \
  TEST_PROPERTY(BSTR, name, name.Copy(), qx::BStr(qx::BstrView(in)))
  TEST_STRING_PROPERTY(title)
  TEST_STRING_PROPERTY(link)
  TEST_STRING_PROPERTY(description)
  TEST_STRING_PROPERTY(guid)
  TEST_STRING_PROPERTY(category)
  TEST_STRING_PROPERTY(status)
  TEST_PROPERTY(DATE, pubDate, pubDate, in)
  TEST_PROPERTY(VARIANT_BOOL, required, required, in)
#undef TEST_STRING_PROPERTY
#undef TEST_PROPERTY
  HRESULT STDMETHODCALLTYPE MarshallObject(BSTR* out) override {
    *out = SysAllocString((u"<item>" + title.Text() + u"</item>").c_str());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE UnMarshallObject(BSTR text) override {
    const std::u16string_view t = qx::BstrView(text);
    if (t == u"fail")
      return PostError(IID_IUpdateItem, u"QXNet.UpdateItem.1", u"Invalid parameter", E_POINTER);
    if (t == u"bare") return E_FAIL;
    title = qx::BStr(t);
    return S_OK;
  }

  qx::BStr title, link, description, guid, category, status;
  DATE pubDate = 0;
  VARIANT_BOOL required = 0;
};

// An item collection holding test items (interface arguments and results);
// the members no test calls are not implemented.
class TestItems final : public Dispatching<IUpdateItems> {
 public:
  HRESULT STDMETHODCALLTYPE Item(LONG index, IUpdateItem** out) override {
    if (index < 0 || index >= static_cast<LONG>(items.size())) return E_INVALIDARG;
    items[index].CopyTo(out);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Count(LONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Add(IUpdateItem* item) override {
    ++addCalls;
    items.push_back(qx::ComPtr<IUpdateItem>(item));  // a null item is kept as null
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE InCollection(BSTR, VARIANT_BOOL*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE MarshallObject(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE UnMarshallObject(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Remove(IUpdateItem*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SortByPubDate() override { return E_NOTIMPL; }

  std::vector<qx::ComPtr<IUpdateItem>> items;
  int addCalls = 0;
};

// The transfer interface: in/out strings and booleans, and the custom
// interface _QXNetConnect beside the dual one.
class TestNet final : public Dispatching<_QXNet>, public _QXNetConnect {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    return Dispatching<_QXNet>::QueryInterface(riid, out);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return Dispatching<_QXNet>::AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return Dispatching<_QXNet>::Release(); }

  HRESULT STDMETHODCALLTYPE RetrieveFile(BSTR url, LONG parentWnd, BSTR* fileName) override {
    seenUrl = qx::BstrView(url);
    seenParentWnd = parentWnd;
    seenFileName = qx::BstrView(*fileName);
    SysFreeString(*fileName);
    *fileName = SysAllocString(u"/cache/file.bin");
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE UploadFile(BSTR, BSTR, LONG, BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE ValidateUrl(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetCacheInfo(BSTR, LONG, VARIANT_BOOL* exists, VARIANT_BOOL* current,
                                         BSTR* cacheFileName) override {
    *exists = VARIANT_TRUE;
    *current = VARIANT_FALSE;
    SysFreeString(*cacheFileName);
    *cacheFileName = SysAllocString(u"/cache/entry");
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_IsConnected(VARIANT_BOOL* out) override {
    *out = VARIANT_TRUE;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE CanConnect(BSTR, VARIANT_BOOL*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE UploadFileForm(BSTR, BSTR, LONG, BSTR, VARIANT_BOOL) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE AttemptConnect(BSTR host, LONG port, LONG, VARIANT_BOOL* out) override {
    seenUrl = qx::BstrView(host);
    seenParentWnd = port;
    *out = VARIANT_TRUE;
    return S_OK;
  }

  std::u16string seenUrl, seenFileName;
  LONG seenParentWnd = 0;

 protected:
  void* Find(REFIID riid) override {
    if (riid == IID__QXNetConnect) return static_cast<_QXNetConnect*>(this);
    return Dispatching<_QXNet>::Find(riid);
  }
};

// The detection interface: a result of variant type.
class TestDetect final : public Dispatching<_QXDetectNet> {
 public:
  HRESULT STDMETHODCALLTYPE get_IsDotNetPresent(VARIANT_BOOL*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_InstallRootPath(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_CLRVersions(VARIANT* out) override {
    out->vt = VT_BSTR;
    out->bstrVal = SysAllocString(u"v4.0.30319");
    return S_OK;
  }
};

}  // namespace typelib_test

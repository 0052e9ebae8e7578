// Type information built from the description: attributes, functions,
// names, documentation, and the coclass's interfaces.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "qxnet/bstr.h"
#include "qxnet/com_ptr.h"
#include "server/type_library/type_library.h"
#include "tests/typelib/test_objects.h"

namespace typelib_test {
namespace {

using qx::ComPtr;

ComPtr<ITypeInfo> InfoFor(const GUID& id) {
  ComPtr<ITypeInfo> info;
  EXPECT_EQ(qx::typelib::GetTypeInfo(id, info.Put()), S_OK);
  return info;
}

struct Attr {
  GUID guid;
  TYPEKIND kind;
  WORD funcs, implTypes, flags, major, minor;
};

Attr AttrOf(ITypeInfo* info) {
  TYPEATTR* a = nullptr;
  EXPECT_EQ(info->GetTypeAttr(&a), S_OK);
  Attr copy{a->guid,       a->typekind,     a->cFuncs,      a->cImplTypes,
            a->wTypeFlags, a->wMajorVerNum, a->wMinorVerNum};
  info->ReleaseTypeAttr(a);
  return copy;
}

std::vector<std::u16string> NamesOf(ITypeInfo* info, MEMBERID id, UINT max = 8) {
  std::vector<BSTR> names(max, nullptr);
  UINT count = 0;
  EXPECT_EQ(info->GetNames(id, names.data(), max, &count), S_OK);
  std::vector<std::u16string> out;
  for (UINT i = 0; i < count; ++i) {
    out.emplace_back(qx::BstrView(names[i]));
    SysFreeString(names[i]);
  }
  return out;
}

TEST(TypeInfo, AttributesOfDualCustomEventAndClassTypes) {
  Attr item = AttrOf(InfoFor(IID_IUpdateItem).Get());
  EXPECT_EQ(item.guid, IID_IUpdateItem);
  EXPECT_EQ(item.kind, TKIND_DISPATCH);
  EXPECT_EQ(item.funcs, 18);
  EXPECT_EQ(item.flags & (TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE),
            TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE);

  Attr connect = AttrOf(InfoFor(IID__QXNetConnect).Get());
  EXPECT_EQ(connect.kind, TKIND_INTERFACE);
  EXPECT_EQ(connect.funcs, 1);
  EXPECT_EQ(connect.flags & TYPEFLAG_FDUAL, 0);

  Attr events = AttrOf(InfoFor(DIID___QXNetEvents).Get());
  EXPECT_EQ(events.kind, TKIND_DISPATCH);
  EXPECT_EQ(events.funcs, 2);

  Attr qxnet = AttrOf(InfoFor(CLSID_QXNet).Get());
  EXPECT_EQ(qxnet.kind, TKIND_COCLASS);
  EXPECT_EQ(qxnet.implTypes, 3);

  ComPtr<ITypeInfo> none;
  EXPECT_EQ(qx::typelib::GetTypeInfo(IID_IDispatch, none.Put()), TYPE_E_ELEMENTNOTFOUND);
  EXPECT_FALSE(none);
}

TEST(TypeInfo, FunctionDescriptionsFollowTheSignatures) {
  ComPtr<ITypeInfo> info = InfoFor(IID__QXNet);
  FUNCDESC* f = nullptr;
  ASSERT_EQ(info->GetFuncDesc(0, &f), S_OK);  // RetrieveFile
  EXPECT_EQ(f->memid, 1);
  EXPECT_EQ(f->invkind, INVOKE_FUNC);
  EXPECT_EQ(f->cParams, 3);
  EXPECT_EQ(f->oVft, static_cast<SHORT>(7 * sizeof(void*)));
  EXPECT_EQ(f->elemdescFunc.tdesc.vt, VT_HRESULT);
  EXPECT_EQ(f->lprgelemdescParam[0].tdesc.vt, VT_BSTR);
  EXPECT_EQ(f->lprgelemdescParam[0].paramdesc.wParamFlags, PARAMFLAG_FIN);
  EXPECT_EQ(f->lprgelemdescParam[1].tdesc.vt, VT_I4);
  ASSERT_EQ(f->lprgelemdescParam[2].tdesc.vt, VT_PTR);
  EXPECT_EQ(f->lprgelemdescParam[2].tdesc.lptdesc->vt, VT_BSTR);
  EXPECT_EQ(f->lprgelemdescParam[2].paramdesc.wParamFlags, PARAMFLAG_FIN | PARAMFLAG_FOUT);
  info->ReleaseFuncDesc(f);

  ASSERT_EQ(info->GetFuncDesc(4, &f), S_OK);  // get IsConnected
  EXPECT_EQ(f->memid, 5);
  EXPECT_EQ(f->invkind, INVOKE_PROPERTYGET);
  ASSERT_EQ(f->cParams, 1);
  EXPECT_EQ(f->lprgelemdescParam[0].tdesc.lptdesc->vt, VT_BOOL);
  EXPECT_EQ(f->lprgelemdescParam[0].paramdesc.wParamFlags, PARAMFLAG_FOUT | PARAMFLAG_FRETVAL);
  EXPECT_EQ(f->oVft, static_cast<SHORT>(11 * sizeof(void*)));
  info->ReleaseFuncDesc(f);
  EXPECT_EQ(info->GetFuncDesc(7, &f), TYPE_E_ELEMENTNOTFOUND);

  ComPtr<ITypeInfo> items = InfoFor(IID_IUpdateItems);
  ASSERT_EQ(items->GetFuncDesc(0, &f), S_OK);  // Item(index, IUpdateItem** pItem)
  EXPECT_EQ(f->memid, DISPID_VALUE);
  ASSERT_EQ(f->lprgelemdescParam[1].tdesc.vt, VT_PTR);
  EXPECT_EQ(f->lprgelemdescParam[1].tdesc.lptdesc->vt, VT_DISPATCH);
  items->ReleaseFuncDesc(f);
  ASSERT_EQ(items->GetFuncDesc(2, &f), S_OK);  // __NewEnum
  EXPECT_EQ(f->memid, DISPID_NEWENUM);
  EXPECT_EQ(f->lprgelemdescParam[0].tdesc.lptdesc->vt, VT_UNKNOWN);
  items->ReleaseFuncDesc(f);
}

TEST(TypeInfo, NamesAndDocumentation) {
  ComPtr<ITypeInfo> info = InfoFor(IID__QXNet);
  EXPECT_EQ(NamesOf(info.Get(), 1),
            (std::vector<std::u16string>{u"RetrieveFile", u"url", u"parentWnd", u"fileName"}));
  EXPECT_EQ(NamesOf(InfoFor(DIID___QXNetEvents).Get(), 1),
            (std::vector<std::u16string>{u"OnProgress", u"titleText", u"progress", u"bCancel"}));
  BSTR unused[2] = {};
  UINT count = 5;
  EXPECT_EQ(info->GetNames(42, unused, 2, &count), TYPE_E_ELEMENTNOTFOUND);

  qx::BStr name;
  ASSERT_EQ(info->GetDocumentation(-1, name.Put(), nullptr, nullptr, nullptr), S_OK);
  EXPECT_EQ(name.Text(), u"_QXNet");
  ASSERT_EQ(info->GetDocumentation(7, name.Put(), nullptr, nullptr, nullptr), S_OK);
  EXPECT_EQ(name.Text(), u"UploadFileForm");
  EXPECT_EQ(info->GetDocumentation(8, name.Put(), nullptr, nullptr, nullptr),
            TYPE_E_ELEMENTNOTFOUND);

  LPOLESTR names[] = {const_cast<LPOLESTR>(u"uploadfile"), const_cast<LPOLESTR>(u"RETURNFILE")};
  MEMBERID ids[2] = {};
  EXPECT_EQ(info->GetIDsOfNames(names, 2, ids), S_OK);
  EXPECT_EQ(ids[0], 2);
  EXPECT_EQ(ids[1], 3);
}

TEST(TypeInfo, ObjectHandsOutItsInterfaceTypeInfo) {
  TestItem* item = new TestItem;
  ComPtr<ITypeInfo> info;
  ASSERT_EQ(item->GetTypeInfo(0, 0, info.Put()), S_OK);
  EXPECT_EQ(AttrOf(info.Get()).guid, IID_IUpdateItem);
  EXPECT_EQ(NamesOf(info.Get(), 11), (std::vector<std::u16string>{u"required", u"pVal"}));

  // ITypeInfo::Invoke calls the object the same way IDispatch does.
  item->title = qx::BStr(u"through type info");
  VARIANT result{};
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  ASSERT_EQ(info->Invoke(static_cast<IUpdateItem*>(item), 1, DISPATCH_PROPERTYGET, &none, &result,
                         nullptr, nullptr),
            S_OK);
  EXPECT_EQ(qx::BstrView(result.bstrVal), u"through type info");
  VariantClear(&result);
  item->Release();
}

TEST(TypeInfo, CoclassListsItsDefaultOtherAndSourceInterfaces) {
  ComPtr<ITypeInfo> qxnet = InfoFor(CLSID_QXNet);
  const std::u16string expected[] = {u"_QXNet", u"_QXNetConnect", u"__QXNetEvents"};
  const INT flags[] = {IMPLTYPEFLAG_FDEFAULT, 0, IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE};
  for (UINT i = 0; i < 3; ++i) {
    HREFTYPE ref = 0;
    ASSERT_EQ(qxnet->GetRefTypeOfImplType(i, &ref), S_OK);
    ComPtr<ITypeInfo> implemented;
    ASSERT_EQ(qxnet->GetRefTypeInfo(ref, implemented.Put()), S_OK);
    qx::BStr name;
    implemented->GetDocumentation(-1, name.Put(), nullptr, nullptr, nullptr);
    EXPECT_EQ(name.Text(), expected[i]);
    INT f = -1;
    ASSERT_EQ(qxnet->GetImplTypeFlags(i, &f), S_OK);
    EXPECT_EQ(f, flags[i]);
  }
  HREFTYPE ref = 0;
  EXPECT_EQ(qxnet->GetRefTypeOfImplType(3, &ref), TYPE_E_ELEMENTNOTFOUND);

  qx::BStr name, doc;
  ASSERT_EQ(qxnet->GetDocumentation(-1, name.Put(), doc.Put(), nullptr, nullptr), S_OK);
  EXPECT_EQ(name.Text(), u"QXNet");
  EXPECT_EQ(doc.Text(), u"QXNet Class");
}

}  // namespace
}  // namespace typelib_test

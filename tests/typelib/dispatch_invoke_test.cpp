// Late-bound calls through the description: name lookup, member selection,
// argument coercion and by-reference arguments, results, and failures.
#include <gtest/gtest.h>

#include "qxnet/text.h"
#include "qxnet/variant.h"
#include "tests/typelib/dispatch_helpers.h"
#include "tests/typelib/test_objects.h"

namespace typelib_test {
namespace {

using qx::Variant;

class DispatchTest : public ::testing::Test {
 protected:
  void TearDown() override {
    // Every reference the dispatch layer took has been given back.
    const auto release = [](auto* object) { EXPECT_EQ(object->Release(), 0u); };
    release(item);
    release(net);
    release(items);
    SetErrorInfo(0, nullptr);
  }

  TestItem* item = new TestItem;
  TestNet* net = new TestNet;
  TestItems* items = new TestItems;
};

std::vector<DISPID> Ids(IDispatch* d, std::initializer_list<const char16_t*> names, HRESULT* hr) {
  std::vector<LPOLESTR> list;
  for (const char16_t* n : names) list.push_back(const_cast<LPOLESTR>(n));
  std::vector<DISPID> ids(list.size(), 12345);
  *hr = d->GetIDsOfNames(IID_NULL, list.data(), static_cast<UINT>(list.size()), 0, ids.data());
  return ids;
}

TEST_F(DispatchTest, NamesAreFoundIgnoringCaseAndUnknownNamesAreMarked) {
  const struct {
    IDispatch* target;
    std::initializer_list<const char16_t*> names;
    std::vector<DISPID> ids;
    HRESULT hr;
  } cases[] = {
      {item, {u"unmarshallOBJECT", u"RETVAL"}, {8, 0}, S_OK},
      {net, {u"retrievefile", u"FileName", u"url"}, {1, 2, 0}, S_OK},
      {items, {u"__newenum"}, {DISPID_NEWENUM}, S_OK},
      {items, {u"_newenum"}, {DISPID_UNKNOWN}, DISP_E_UNKNOWNNAME},
      {item, {u"titles", u"pVal"}, {DISPID_UNKNOWN, DISPID_UNKNOWN}, DISP_E_UNKNOWNNAME},
      {net, {u"RetrieveFile", u"url", u"nothing"}, {1, 0, DISPID_UNKNOWN}, DISP_E_UNKNOWNNAME},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(qx::Utf16ToUtf8(*c.names.begin()));
    HRESULT hr;
    EXPECT_EQ(Ids(c.target, c.names, &hr), c.ids);
    EXPECT_EQ(hr, c.hr);
  }
}

TEST_F(DispatchTest, PropertyPutThenGetRoundTripsAString) {
  Variant value = Variant::String(u"Release 11");
  Variant result;
  ASSERT_EQ(Call(item, 1, DISPATCH_PROPERTYPUT, {&value}, nullptr), S_OK);
  EXPECT_EQ(item->title.Text(), u"Release 11");
  ASSERT_EQ(Call(item, 1, kGet, {}, &result), S_OK);
  ASSERT_EQ(result.vt, VT_BSTR);
  EXPECT_EQ(qx::BstrView(result.bstrVal), u"Release 11");

  // An object reference assigned the script way reaches the plain setter.
  Variant text = Variant::String(u"by reference put");
  EXPECT_EQ(Call(item, 3, DISPATCH_PROPERTYPUTREF, {&text}, nullptr), S_OK);
  EXPECT_EQ(item->description.Text(), u"by reference put");
}

TEST_F(DispatchTest, ArgumentsAreCoercedToTheParameterTypes) {
  Variant url = Variant::String(u"http://127.0.0.1/feed.xml");
  Variant window = Variant::String(u"12");  // I4 from text (the conversions are the variant's)
  Variant file = Variant::String(u"");
  ASSERT_EQ(Call(net, 1, DISPATCH_METHOD, {&url, &window, &file}, nullptr), S_OK);
  EXPECT_EQ(net->seenParentWnd, 12);
  EXPECT_EQ(net->seenUrl, u"http://127.0.0.1/feed.xml");

  VARIANT when = Double(45123.75);
  ASSERT_EQ(Call(item, 6, DISPATCH_PROPERTYPUT, {&when}, nullptr), S_OK);
  EXPECT_DOUBLE_EQ(item->pubDate, 45123.75);
  Variant date;
  ASSERT_EQ(Call(item, 6, kGet, {}, &date), S_OK);
  EXPECT_EQ(date.vt, VT_DATE);
  EXPECT_DOUBLE_EQ(date.date, 45123.75);

  // An argument the caller passes by reference is read through it.
  LONG number = 31;
  VARIANT byRef = RefTo(&number);
  Variant description = Variant::String(u"x");
  ASSERT_EQ(Call(net, 1, DISPATCH_METHOD, {&url, &byRef, &description}, nullptr), S_OK);
  EXPECT_EQ(net->seenParentWnd, 31);
}

TEST_F(DispatchTest, UnconvertibleArgumentNamesItsPositionInTheArgumentArray) {
  Variant url = Variant::String(u"http://127.0.0.1/");
  Variant window = Variant::String(u"twelve");
  Variant file = Variant::String(u"");
  UINT argErr = 99;
  EXPECT_EQ(Call(net, 1, DISPATCH_METHOD, {&url, &window, &file}, nullptr, nullptr, &argErr),
            DISP_E_TYPEMISMATCH);
  EXPECT_EQ(argErr, 1u);  // rgvarg holds file, window, url

  // An interface parameter takes only objects that have the interface.
  Variant number = Variant::Long(3);
  argErr = 99;
  EXPECT_EQ(Call(items, 2, DISPATCH_METHOD, {&number}, nullptr, nullptr, &argErr),
            DISP_E_TYPEMISMATCH);
  EXPECT_EQ(argErr, 0u);
  VARIANT notAnItem = Object(static_cast<IUpdateItems*>(items));
  EXPECT_EQ(Call(items, 2, DISPATCH_METHOD, {&notAnItem}, nullptr, nullptr, &argErr),
            DISP_E_TYPEMISMATCH);
  EXPECT_EQ(items->addCalls, 0);
}

TEST_F(DispatchTest, WrongArgumentsAndMissingMembersAreRefused) {
  Variant one = Variant::Long(1);
  Variant result;
  EXPECT_EQ(Call(item, 1, kGet, {&one}, &result), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(Call(net, 1, DISPATCH_METHOD, {&one, &one}, nullptr), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(Call(item, 9, kGet, {}, &result), DISP_E_MEMBERNOTFOUND);  // unused dispid
  EXPECT_EQ(Call(item, 7, DISPATCH_PROPERTYPUT, {&one}, nullptr), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(Call(item, 1, DISPATCH_METHOD, {}, &result), DISP_E_MEMBERNOTFOUND);

  // Named arguments other than the put value are refused.
  DISPID named = 0;
  DISPPARAMS params{&one, &named, 1, 1};
  EXPECT_EQ(net->Invoke(3, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr),
            DISP_E_NONAMEDARGS);
  EXPECT_EQ(item->Invoke(1, IID_NULL, 0, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr, nullptr),
            DISP_E_NONAMEDARGS);
  DISPPARAMS unnamed{&one, nullptr, 1, 0};
  EXPECT_EQ(item->Invoke(1, IID_NULL, 0, DISPATCH_PROPERTYPUT, &unnamed, nullptr, nullptr, nullptr),
            DISP_E_PARAMNOTFOUND);
  EXPECT_TRUE(item->title.IsNull());
}

TEST_F(DispatchTest, ByReferenceStringIsUpdatedInTheCallersVariable) {
  Variant url = Variant::String(u"http://127.0.0.1/a");
  Variant window = Variant::Long(0);
  BSTR fileName = SysAllocString(u"wanted.bin");
  VARIANT ref = RefTo(&fileName);
  ASSERT_EQ(Call(net, 1, DISPATCH_METHOD, {&url, &window, &ref}, nullptr), S_OK);
  EXPECT_EQ(net->seenFileName, u"wanted.bin");
  EXPECT_EQ(qx::BstrView(fileName), u"/cache/file.bin");
  SysFreeString(fileName);

  // Booleans and strings together, each through its own reference.
  VARIANT_BOOL exists = VARIANT_FALSE, current = VARIANT_TRUE;
  BSTR cached = nullptr;
  VARIANT existsRef = RefTo(&exists), currentRef = RefTo(&current), cachedRef = RefTo(&cached);
  ASSERT_EQ(
      Call(net, 4, DISPATCH_METHOD, {&url, &window, &existsRef, &currentRef, &cachedRef}, nullptr),
      S_OK);
  EXPECT_EQ(exists, VARIANT_TRUE);
  EXPECT_EQ(current, VARIANT_FALSE);
  EXPECT_EQ(qx::BstrView(cached), u"/cache/entry");
  SysFreeString(cached);
}

TEST_F(DispatchTest, InOutArgumentsGivenOtherwiseAreConvertedAndWrittenBackWhenPossible) {
  Variant url = Variant::String(u"http://127.0.0.1/b");
  Variant window = Variant::Long(0);

  // By value: the value goes in, the out-value is dropped (and freed).
  Variant byValue = Variant::String(u"plain.bin");
  ASSERT_EQ(Call(net, 1, DISPATCH_METHOD, {&url, &window, &byValue}, nullptr), S_OK);
  EXPECT_EQ(net->seenFileName, u"plain.bin");
  EXPECT_EQ(qx::BstrView(byValue.bstrVal), u"plain.bin");

  // A script variable (a reference to a variant) of another type: converted
  // in, and replaced by the new string.
  Variant scriptVar = Variant::Long(7);
  VARIANT ref = RefTo(&scriptVar);
  ASSERT_EQ(Call(net, 1, DISPATCH_METHOD, {&url, &window, &ref}, nullptr), S_OK);
  EXPECT_EQ(net->seenFileName, u"7");
  ASSERT_EQ(scriptVar.vt, VT_BSTR);
  EXPECT_EQ(qx::BstrView(scriptVar.bstrVal), u"/cache/file.bin");

  // A script variable already holding a string is updated in place.
  Variant holdsString = Variant::String(u"old");
  VARIANT ref2 = RefTo(&holdsString);
  ASSERT_EQ(Call(net, 1, DISPATCH_METHOD, {&url, &window, &ref2}, nullptr), S_OK);
  EXPECT_EQ(net->seenFileName, u"old");
  EXPECT_EQ(qx::BstrView(holdsString.bstrVal), u"/cache/file.bin");

  // A reference to a variable of another type cannot receive a string.
  LONG number = 1;
  VARIANT wrongRef = RefTo(&number);
  UINT argErr = 99;
  EXPECT_EQ(Call(net, 1, DISPATCH_METHOD, {&url, &window, &wrongRef}, nullptr, nullptr, &argErr),
            DISP_E_TYPEMISMATCH);
  EXPECT_EQ(argErr, 0u);
}

TEST_F(DispatchTest, ResultsCarryTheRetvalType) {
  Variant result;
  ASSERT_EQ(Call(net, 5, kGet, {}, &result), S_OK);
  EXPECT_EQ(result.vt, VT_BOOL);
  EXPECT_EQ(result.boolVal, VARIANT_TRUE);
  item->title = qx::BStr(u"T");
  ASSERT_EQ(Call(item, 7, DISPATCH_METHOD, {}, result.Put()), S_OK);
  ASSERT_EQ(result.vt, VT_BSTR);
  EXPECT_EQ(qx::BstrView(result.bstrVal), u"<item>T</item>");

  items->items.push_back(qx::ComPtr<IUpdateItem>(item));
  Variant zero = Variant::Long(0);
  ASSERT_EQ(Call(items, DISPID_VALUE, kGet, {&zero}, result.Put()), S_OK);
  ASSERT_EQ(result.vt, VT_DISPATCH);
  EXPECT_EQ(result.pdispVal, static_cast<IDispatch*>(item));
  EXPECT_EQ(item->refs, 3u);  // the collection's and the result's
  result.Clear();
  ASSERT_EQ(Call(items, DISPID_VALUE, kGet, {&zero}, nullptr), S_OK);  // retval released
  EXPECT_EQ(item->refs, 2u);
  items->items.clear();

  TestDetect* detect = new TestDetect;
  ASSERT_EQ(Call(detect, 3, kGet, {}, result.Put()), S_OK);
  ASSERT_EQ(result.vt, VT_BSTR);  // a variant result is handed over as it is
  EXPECT_EQ(qx::BstrView(result.bstrVal), u"v4.0.30319");
  detect->Release();
}

TEST_F(DispatchTest, InterfaceArgumentsAreQueriedAndNullIsAccepted) {
  VARIANT asDispatch = Object(static_cast<IUpdateItem*>(item));
  ASSERT_EQ(Call(items, 2, DISPATCH_METHOD, {&asDispatch}, nullptr), S_OK);
  ASSERT_EQ(items->items.size(), 1u);
  EXPECT_EQ(items->items[0].Get(), static_cast<IUpdateItem*>(item));

  VARIANT asUnknown = Object(static_cast<IUpdateItem*>(item), VT_UNKNOWN);
  ASSERT_EQ(Call(items, 2, DISPATCH_METHOD, {&asUnknown}, nullptr), S_OK);
  VARIANT nothing{};
  ASSERT_EQ(Call(items, 2, DISPATCH_METHOD, {&nothing}, nullptr), S_OK);
  ASSERT_EQ(items->items.size(), 3u);
  EXPECT_EQ(items->items[2].Get(), nullptr);
  EXPECT_EQ(item->refs, 3u);  // held twice by the collection, no reference left over
  items->items.clear();
}

TEST_F(DispatchTest, FailureWithErrorRecordBecomesAnException) {
  Variant text = Variant::String(u"fail");
  EXCEPINFO info{};
  info.wCode = 77;
  ASSERT_EQ(Call(item, 8, DISPATCH_METHOD, {&text}, nullptr, &info), DISP_E_EXCEPTION);
  EXPECT_EQ(info.wCode, 0);
  EXPECT_EQ(info.scode, E_POINTER);
  EXPECT_EQ(qx::BstrView(info.bstrSource), u"QXNet.UpdateItem.1");
  EXPECT_EQ(qx::BstrView(info.bstrDescription), u"Invalid parameter");
  SysFreeString(info.bstrSource);
  SysFreeString(info.bstrDescription);
  SysFreeString(info.bstrHelpFile);

  // Without an EXCEPINFO the member's own code comes back.
  EXPECT_EQ(Call(item, 8, DISPATCH_METHOD, {&text}, nullptr), E_POINTER);
}

TEST_F(DispatchTest, AnEarlierErrorRecordIsNeitherReportedNorCleared) {
  PostError(IID_IUpdateCatalog, u"QXNet.UpdateCatalog.1", u"stale", E_FAIL);

  Variant text = Variant::String(u"bare");  // fails without posting a record
  EXCEPINFO info{};
  ASSERT_EQ(Call(item, 8, DISPATCH_METHOD, {&text}, nullptr, &info), DISP_E_EXCEPTION);
  EXPECT_EQ(info.scode, E_FAIL);
  EXPECT_EQ(info.bstrDescription, nullptr);
  EXPECT_EQ(info.bstrSource, nullptr);

  Variant result;
  ASSERT_EQ(Call(item, 1, kGet, {}, &result), S_OK);
  qx::ComPtr<IErrorInfo> still;
  ASSERT_EQ(GetErrorInfo(0, still.Put()), S_OK);
  ASSERT_TRUE(still);
  qx::BStr description;
  still->GetDescription(description.Put());
  EXPECT_EQ(description.Text(), u"stale");
}

TEST_F(DispatchTest, CustomInterfaceIsCalledThroughItsOwnPointer) {
  Variant host = Variant::String(u"127.0.0.1");
  Variant port = Variant::String(u"8080");
  Variant timeout = Variant::Long(500);
  std::vector<VARIANT> reversed = {timeout, port, host};
  DISPPARAMS params{reversed.data(), nullptr, 3, 0};
  Variant result;
  ASSERT_EQ(qx::typelib::Invoke(IID__QXNetConnect, static_cast<_QXNet*>(net), 101, DISPATCH_METHOD,
                                &params, &result, nullptr, nullptr),
            S_OK);
  EXPECT_EQ(result.vt, VT_BOOL);
  EXPECT_EQ(result.boolVal, VARIANT_TRUE);
  EXPECT_EQ(net->seenUrl, u"127.0.0.1");
  EXPECT_EQ(net->seenParentWnd, 8080);

  // Event interfaces are described but have nothing to call.
  EXPECT_EQ(qx::typelib::Invoke(DIID___QXNetEvents, static_cast<_QXNet*>(net), 2, DISPATCH_METHOD,
                                nullptr, nullptr, nullptr, nullptr),
            DISP_E_MEMBERNOTFOUND);
}

}  // namespace
}  // namespace typelib_test

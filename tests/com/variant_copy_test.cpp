// VariantInit, VariantClear and VariantCopy: ownership of strings,
// interfaces and arrays.
#include <gtest/gtest.h>

#include <string>

#include "qxnet/platform.h"
#include "tests/com/counting_object.h"

namespace {

using comtest::CountingObject;

TEST(VariantCopy, StringIsDuplicatedWithEmbeddedZeros) {
  const char16_t text[] = {u'x', 0, u'y'};
  VARIANT src, dst;
  VariantInit(&src);
  VariantInit(&dst);
  src.vt = VT_BSTR;
  src.bstrVal = SysAllocStringLen(text, 3);
  ASSERT_EQ(VariantCopy(&dst, &src), S_OK);
  EXPECT_EQ(dst.vt, VT_BSTR);
  EXPECT_NE(dst.bstrVal, src.bstrVal);
  EXPECT_EQ(std::u16string(dst.bstrVal, SysStringLen(dst.bstrVal)), std::u16string(text, 3));
  EXPECT_EQ(VariantClear(&src), S_OK);
  EXPECT_EQ(src.vt, VT_EMPTY);
  EXPECT_EQ(VariantClear(&dst), S_OK);
}

TEST(VariantCopy, InterfacesAreAddRefdAndReleasedOnClear) {
  CountingObject object;
  VARIANT src, dst;
  VariantInit(&src);
  VariantInit(&dst);
  src.vt = VT_DISPATCH;
  src.pdispVal = &object;
  object.AddRef();
  ASSERT_EQ(VariantCopy(&dst, &src), S_OK);
  EXPECT_EQ(object.refs(), 2u);
  EXPECT_EQ(dst.pdispVal, &object);
  // Copying over a variant releases what it held first.
  ASSERT_EQ(VariantCopy(&dst, &src), S_OK);
  EXPECT_EQ(object.refs(), 2u);
  VariantClear(&dst);
  VariantClear(&src);
  EXPECT_EQ(object.refs(), 0u);
}

TEST(VariantCopy, ByReferenceValuesAreNotOwned) {
  CountingObject object;
  IUnknown* held = &object;
  object.AddRef();
  VARIANT ref;
  VariantInit(&ref);
  ref.vt = VT_UNKNOWN | VT_BYREF;
  ref.ppunkVal = &held;
  VARIANT copy;
  VariantInit(&copy);
  ASSERT_EQ(VariantCopy(&copy, &ref), S_OK);
  EXPECT_EQ(copy.ppunkVal, &held);
  EXPECT_EQ(object.refs(), 1u);
  VariantClear(&copy);
  VariantClear(&ref);
  EXPECT_EQ(object.refs(), 1u);
  held->Release();
}

TEST(VariantCopy, ArraysAreCopiedElementByElement) {
  SAFEARRAY* array = SafeArrayCreateVector(VT_BSTR, 0, 2);
  LONG i = 1;
  BSTR kept = SysAllocString(u"kept");
  ASSERT_EQ(SafeArrayPutElement(array, &i, kept), S_OK);
  SysFreeString(kept);  // the array holds its own copy
  VARIANT src, dst;
  VariantInit(&src);
  VariantInit(&dst);
  src.vt = VT_ARRAY | VT_BSTR;
  src.parray = array;
  ASSERT_EQ(VariantCopy(&dst, &src), S_OK);
  ASSERT_NE(dst.parray, array);
  BSTR copied = nullptr;
  ASSERT_EQ(SafeArrayGetElement(dst.parray, &i, &copied), S_OK);
  EXPECT_EQ(std::u16string(copied), u"kept");
  SysFreeString(copied);
  VariantClear(&src);
  VariantClear(&dst);
}

TEST(VariantCopy, SourceOwnedByTheDestinationSurvives) {
  // The source lives inside an array that the destination owns: copying
  // must not free it before reading it.
  SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, 1);
  VARIANT* items = nullptr;
  ASSERT_EQ(SafeArrayAccessData(array, reinterpret_cast<void**>(&items)), S_OK);
  items[0].vt = VT_BSTR;
  items[0].bstrVal = SysAllocString(u"inner");
  ASSERT_EQ(SafeArrayUnaccessData(array), S_OK);
  VARIANT outer;
  VariantInit(&outer);
  outer.vt = VT_ARRAY | VT_VARIANT;
  outer.parray = array;
  ASSERT_EQ(VariantCopy(&outer, &items[0]), S_OK);
  ASSERT_EQ(outer.vt, VT_BSTR);
  EXPECT_EQ(std::u16string(outer.bstrVal), u"inner");
  VariantClear(&outer);
}

TEST(VariantClear, LockedArrayIsKeptAndReported) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_ARRAY | VT_I4;
  v.parray = SafeArrayCreateVector(VT_I4, 0, 3);
  void* data;
  ASSERT_EQ(SafeArrayAccessData(v.parray, &data), S_OK);
  EXPECT_EQ(VariantClear(&v), DISP_E_ARRAYISLOCKED);
  EXPECT_EQ(v.vt, VT_ARRAY | VT_I4);
  ASSERT_EQ(SafeArrayUnaccessData(v.parray), S_OK);
  EXPECT_EQ(VariantClear(&v), S_OK);
  EXPECT_EQ(v.vt, VT_EMPTY);
}

TEST(VariantClear, InvalidTypesAreRejected) {
  VARIANT v;
  VariantInit(&v);
  v.vt = 0x0FFF;
  EXPECT_EQ(VariantClear(&v), DISP_E_BADVARTYPE);
  v.vt = VT_VARIANT;  // only valid by reference or in an array
  VARIANT copy;
  VariantInit(&copy);
  EXPECT_EQ(VariantCopy(&copy, &v), DISP_E_BADVARTYPE);
  EXPECT_EQ(copy.vt, VT_EMPTY);
  EXPECT_EQ(VariantClear(nullptr), E_INVALIDARG);
}

}  // namespace

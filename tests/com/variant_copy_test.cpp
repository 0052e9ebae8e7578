// VariantClear and VariantCopy: ownership of strings, interfaces and arrays.
#include <gtest/gtest.h>

#include <string>

#include "qxnet/platform.h"
#include "tests/com/counting_object.h"

namespace {

using comtest::CountingObject;

VARIANT Holding(VARTYPE vt, void* value) {
  VARIANT v;
  VariantInit(&v);
  v.vt = vt;
  v.byref = value;
  return v;
}

TEST(VariantCopy, StringsAreDuplicatedWithEmbeddedZeros) {
  const char16_t text[] = {u'x', 0, u'y'};
  VARIANT src = Holding(VT_BSTR, SysAllocStringLen(text, 3)), dst = Holding(VT_EMPTY, nullptr);
  ASSERT_EQ(VariantCopy(&dst, &src), S_OK);
  EXPECT_NE(dst.bstrVal, src.bstrVal);
  EXPECT_EQ(std::u16string(dst.bstrVal, SysStringLen(dst.bstrVal)), std::u16string(text, 3));
  EXPECT_EQ(VariantClear(&src), S_OK);
  EXPECT_EQ(src.vt, VT_EMPTY);
  EXPECT_EQ(VariantClear(&dst), S_OK);
}

TEST(VariantCopy, InterfacesAreCountedButByReferenceValuesAreNotOwned) {
  CountingObject object;
  object.AddRef();
  VARIANT src = Holding(VT_DISPATCH, static_cast<IDispatch*>(&object)), dst = {};
  ASSERT_EQ(VariantCopy(&dst, &src), S_OK);
  EXPECT_EQ(object.refs(), 2u);
  ASSERT_EQ(VariantCopy(&dst, &src), S_OK);  // releases what dst held first
  EXPECT_EQ(object.refs(), 2u);
  VariantClear(&dst);

  IUnknown* held = &object;
  VARIANT ref = Holding(VT_UNKNOWN | VT_BYREF, &held);
  ASSERT_EQ(VariantCopy(&dst, &ref), S_OK);
  EXPECT_EQ(dst.ppunkVal, &held);
  VariantClear(&dst);
  VariantClear(&ref);
  EXPECT_EQ(object.refs(), 1u);
  VariantClear(&src);
  EXPECT_EQ(object.refs(), 0u);
}

TEST(VariantCopy, ArraysAreCopiedElementByElement) {
  SAFEARRAY* array = SafeArrayCreateVector(VT_BSTR, 0, 2);
  LONG i = 1;
  BSTR kept = SysAllocString(u"kept");
  ASSERT_EQ(SafeArrayPutElement(array, &i, kept), S_OK);
  SysFreeString(kept);
  VARIANT src = Holding(VT_ARRAY | VT_BSTR, array), dst = Holding(VT_EMPTY, nullptr);
  ASSERT_EQ(VariantCopy(&dst, &src), S_OK);
  ASSERT_NE(dst.parray, array);
  VariantClear(&src);
  BSTR copied = nullptr;
  ASSERT_EQ(SafeArrayGetElement(dst.parray, &i, &copied), S_OK);
  EXPECT_EQ(std::u16string(copied), u"kept");
  SysFreeString(copied);
  VariantClear(&dst);
}

TEST(VariantCopy, SourceOwnedByTheDestinationSurvives) {
  // The source lives inside an array the destination owns: it must be read
  // before the destination is cleared.
  SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, 1);
  VARIANT* items = static_cast<VARIANT*>(array->pvData);
  items[0] = Holding(VT_BSTR, SysAllocString(u"inner"));
  VARIANT outer = Holding(VT_ARRAY | VT_VARIANT, array);
  ASSERT_EQ(VariantCopy(&outer, &items[0]), S_OK);
  ASSERT_EQ(outer.vt, VT_BSTR);
  EXPECT_EQ(std::u16string(outer.bstrVal), u"inner");
  VariantClear(&outer);
}

TEST(VariantClear, LockedArrayIsKeptAndInvalidTypesAreRejected) {
  VARIANT v = Holding(VT_ARRAY | VT_I4, SafeArrayCreateVector(VT_I4, 0, 3));
  void* data;
  ASSERT_EQ(SafeArrayAccessData(v.parray, &data), S_OK);
  EXPECT_EQ(VariantClear(&v), DISP_E_ARRAYISLOCKED);
  EXPECT_EQ(v.vt, VT_ARRAY | VT_I4);
  ASSERT_EQ(SafeArrayUnaccessData(v.parray), S_OK);
  EXPECT_EQ(VariantClear(&v), S_OK);

  v.vt = 0x0FFF;
  EXPECT_EQ(VariantClear(&v), DISP_E_BADVARTYPE);
  v.vt = VT_VARIANT;  // valid only by reference or in an array
  VARIANT copy = Holding(VT_EMPTY, nullptr);
  EXPECT_EQ(VariantCopy(&copy, &v), DISP_E_BADVARTYPE);
  EXPECT_EQ(copy.vt, VT_EMPTY);
  EXPECT_EQ(VariantClear(nullptr), E_INVALIDARG);
}

}  // namespace

// Safe arrays: creation, bounds, element copy semantics, locking and
// multi-dimensional indexing.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>

#include "qxnet/platform.h"
#include "tests/com/counting_object.h"

namespace {

using comtest::CountingObject;

TEST(SafeArray, CreateDescribesTypeAndBounds) {
  SAFEARRAY* psa = SafeArrayCreateVector(VT_VARIANT, 1, 3);
  ASSERT_NE(psa, nullptr);
  EXPECT_EQ(psa->cDims, 1);
  EXPECT_EQ(psa->cbElements, sizeof(VARIANT));
  EXPECT_TRUE(psa->fFeatures & FADF_VARIANT);
  EXPECT_TRUE(psa->fFeatures & FADF_HAVEVARTYPE);
  // The element type sits in the four bytes before the header.
  uint32_t hidden;
  std::memcpy(&hidden, reinterpret_cast<char*>(psa) - 4, sizeof hidden);
  EXPECT_EQ(hidden, VT_VARIANT);
  LONG lower = 0, upper = 0;
  EXPECT_EQ(SafeArrayGetLBound(psa, 1, &lower), S_OK);
  EXPECT_EQ(SafeArrayGetUBound(psa, 1, &upper), S_OK);
  EXPECT_EQ(lower, 1);
  EXPECT_EQ(upper, 3);
  EXPECT_EQ(SafeArrayGetLBound(psa, 0, &lower), DISP_E_BADINDEX);
  EXPECT_EQ(SafeArrayGetUBound(psa, 2, &upper), DISP_E_BADINDEX);
  EXPECT_EQ(SafeArrayDestroy(psa), S_OK);

  SAFEARRAY* strings = SafeArrayCreateVector(VT_BSTR, 0, 1);
  EXPECT_TRUE(strings->fFeatures & FADF_BSTR);
  SafeArrayDestroy(strings);
  SAFEARRAY* objects = SafeArrayCreateVector(VT_DISPATCH, 0, 1);
  EXPECT_TRUE(objects->fFeatures & FADF_DISPATCH);
  SafeArrayDestroy(objects);

  SAFEARRAYBOUND bound{1, 0};
  EXPECT_EQ(SafeArrayCreate(VT_EMPTY, 1, &bound), nullptr);
  EXPECT_EQ(SafeArrayCreate(VT_I4, 0, &bound), nullptr);
  EXPECT_EQ(SafeArrayCreate(VT_I4, 1, nullptr), nullptr);
  SAFEARRAYBOUND huge[2] = {{0xFFFFFFFFu, 0}, {0xFFFFFFFFu, 0}};
  EXPECT_EQ(SafeArrayCreate(VT_VARIANT, 2, huge), nullptr);
}

TEST(SafeArray, StringElementsAreCopiedInAndOut) {
  SAFEARRAY* psa = SafeArrayCreateVector(VT_BSTR, 0, 2);
  BSTR mine = SysAllocString(u"abc");
  LONG index = 1;
  ASSERT_EQ(SafeArrayPutElement(psa, &index, mine), S_OK);
  SysFreeString(mine);
  BSTR out1 = nullptr, out2 = nullptr;
  ASSERT_EQ(SafeArrayGetElement(psa, &index, &out1), S_OK);
  ASSERT_EQ(SafeArrayGetElement(psa, &index, &out2), S_OK);
  EXPECT_NE(out1, out2);
  EXPECT_EQ(std::u16string(out1), u"abc");
  // Replacing frees the old element (checked by the sanitizer build).
  BSTR other = SysAllocString(u"xyz");
  ASSERT_EQ(SafeArrayPutElement(psa, &index, other), S_OK);
  SysFreeString(other);
  // An element never put reads as a null string.
  index = 0;
  BSTR unset = out1;  // overwritten, not freed
  ASSERT_EQ(SafeArrayGetElement(psa, &index, &unset), S_OK);
  EXPECT_EQ(unset, nullptr);
  SysFreeString(out1);
  SysFreeString(out2);
  EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
}

TEST(SafeArray, VariantElementsAreDeepCopies) {
  CountingObject object;
  SAFEARRAY* psa = SafeArrayCreateVector(VT_VARIANT, 0, 2);
  VARIANT in;
  VariantInit(&in);
  in.vt = VT_DISPATCH;
  in.pdispVal = &object;
  object.AddRef();
  LONG index = 0;
  ASSERT_EQ(SafeArrayPutElement(psa, &index, &in), S_OK);
  EXPECT_EQ(object.refs(), 2u);
  VariantClear(&in);

  index = 1;
  in.vt = VT_BSTR;
  in.bstrVal = SysAllocString(u"text");
  ASSERT_EQ(SafeArrayPutElement(psa, &index, &in), S_OK);
  VariantClear(&in);

  VARIANT out;
  ASSERT_EQ(SafeArrayGetElement(psa, &index, &out), S_OK);
  EXPECT_EQ(out.vt, VT_BSTR);
  EXPECT_EQ(std::u16string(out.bstrVal), u"text");
  VariantClear(&out);
  index = 0;
  ASSERT_EQ(SafeArrayGetElement(psa, &index, &out), S_OK);
  EXPECT_EQ(object.refs(), 2u);
  VariantClear(&out);

  // Destroying clears every element and releases the object.
  EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
  EXPECT_EQ(object.refs(), 0u);
}

TEST(SafeArray, InterfaceElementsAreCountedAndReleased) {
  CountingObject first, second;
  SAFEARRAY* psa = SafeArrayCreateVector(VT_UNKNOWN, 0, 1);
  LONG index = 0;
  ASSERT_EQ(SafeArrayPutElement(psa, &index, static_cast<IUnknown*>(&first)), S_OK);
  EXPECT_EQ(first.refs(), 1u);
  ASSERT_EQ(SafeArrayPutElement(psa, &index, static_cast<IUnknown*>(&second)), S_OK);
  EXPECT_EQ(first.refs(), 0u);
  EXPECT_EQ(second.refs(), 1u);
  IUnknown* out = nullptr;
  ASSERT_EQ(SafeArrayGetElement(psa, &index, &out), S_OK);
  EXPECT_EQ(out, &second);
  EXPECT_EQ(second.refs(), 2u);
  out->Release();
  EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
  EXPECT_EQ(second.refs(), 0u);
}

TEST(SafeArray, BoundsAreChecked) {
  SAFEARRAY* psa = SafeArrayCreateVector(VT_UI1, -2, 4);  // -2 .. 1
  BYTE value = 7;
  for (LONG bad : std::initializer_list<LONG>{-3, 2, 1000, INT32_MIN, INT32_MAX}) {
    EXPECT_EQ(SafeArrayPutElement(psa, &bad, &value), DISP_E_BADINDEX) << bad;
    EXPECT_EQ(SafeArrayGetElement(psa, &bad, &value), DISP_E_BADINDEX) << bad;
  }
  LONG last = 1;
  ASSERT_EQ(SafeArrayPutElement(psa, &last, &value), S_OK);
  BYTE* data = nullptr;
  ASSERT_EQ(SafeArrayAccessData(psa, reinterpret_cast<void**>(&data)), S_OK);
  EXPECT_EQ(data[3], 7);
  EXPECT_EQ(SafeArrayUnaccessData(psa), S_OK);
  EXPECT_EQ(SafeArrayGetElement(nullptr, &last, &value), E_INVALIDARG);
  EXPECT_EQ(SafeArrayPutElement(psa, nullptr, &value), E_INVALIDARG);
  EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
}

TEST(SafeArray, LockingBlocksDestroy) {
  SAFEARRAY* psa = SafeArrayCreateVector(VT_I4, 0, 2);
  void* data = nullptr;
  ASSERT_EQ(SafeArrayAccessData(psa, &data), S_OK);
  ASSERT_EQ(SafeArrayAccessData(psa, &data), S_OK);
  EXPECT_EQ(psa->cLocks, 2u);
  EXPECT_EQ(SafeArrayDestroy(psa), DISP_E_ARRAYISLOCKED);
  EXPECT_EQ(SafeArrayUnaccessData(psa), S_OK);
  EXPECT_EQ(SafeArrayDestroy(psa), DISP_E_ARRAYISLOCKED);
  EXPECT_EQ(SafeArrayUnaccessData(psa), S_OK);
  EXPECT_EQ(SafeArrayUnaccessData(psa), E_UNEXPECTED);
  EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
  EXPECT_EQ(SafeArrayDestroy(nullptr), S_OK);
}

TEST(SafeArray, MultipleDimensionsLeftMostFirstAndFastest) {
  // Two rows (1..2) by three columns (0..2).
  SAFEARRAYBOUND bounds[2] = {{2, 1}, {3, 0}};
  SAFEARRAY* psa = SafeArrayCreate(VT_I4, 2, bounds);
  ASSERT_NE(psa, nullptr);
  LONG lower, upper;
  ASSERT_EQ(SafeArrayGetLBound(psa, 1, &lower), S_OK);
  ASSERT_EQ(SafeArrayGetUBound(psa, 1, &upper), S_OK);
  EXPECT_EQ(lower, 1);
  EXPECT_EQ(upper, 2);
  ASSERT_EQ(SafeArrayGetLBound(psa, 2, &lower), S_OK);
  ASSERT_EQ(SafeArrayGetUBound(psa, 2, &upper), S_OK);
  EXPECT_EQ(lower, 0);
  EXPECT_EQ(upper, 2);
  // The header keeps the bounds in reverse order.
  EXPECT_EQ(psa->rgsabound[0].cElements, 3u);
  EXPECT_EQ(psa->rgsabound[1].cElements, 2u);

  for (LONG row = 1; row <= 2; ++row) {
    for (LONG column = 0; column <= 2; ++column) {
      LONG indices[2] = {row, column};
      LONG value = row * 10 + column;
      ASSERT_EQ(SafeArrayPutElement(psa, indices, &value), S_OK);
    }
  }
  LONG* data = nullptr;
  ASSERT_EQ(SafeArrayAccessData(psa, reinterpret_cast<void**>(&data)), S_OK);
  const LONG expected[6] = {10, 20, 11, 21, 12, 22};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(data[i], expected[i]) << i;
  SafeArrayUnaccessData(psa);
  LONG outside[2] = {3, 0};
  LONG value;
  EXPECT_EQ(SafeArrayGetElement(psa, outside, &value), DISP_E_BADINDEX);
  LONG swapped[2] = {0, 1};
  EXPECT_EQ(SafeArrayGetElement(psa, swapped, &value), DISP_E_BADINDEX);
  EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
}

}  // namespace

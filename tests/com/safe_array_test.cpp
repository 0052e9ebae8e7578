// Safe arrays: creation, bounds, element copy semantics, locking and
// multi-dimensional indexing.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "qxnet/platform.h"
#include "tests/com/counting_object.h"

namespace {

using comtest::CountingObject;

TEST(SafeArray, CreateDescribesTypeAndBoundsAndRefusesBadShapes) {
  SAFEARRAY* psa = SafeArrayCreateVector(VT_VARIANT, 1, 3);
  ASSERT_NE(psa, nullptr);
  EXPECT_EQ(psa->cbElements, sizeof(VARIANT));
  EXPECT_TRUE(psa->fFeatures & FADF_VARIANT);
  EXPECT_TRUE(psa->fFeatures & FADF_HAVEVARTYPE);
  uint32_t hidden;  // the element type sits in the four bytes before the header
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

  SAFEARRAYBOUND bound{1, 0};
  EXPECT_EQ(SafeArrayCreate(VT_EMPTY, 1, &bound), nullptr);
  EXPECT_EQ(SafeArrayCreate(VT_I4, 0, &bound), nullptr);
  EXPECT_EQ(SafeArrayCreate(VT_I4, 1, nullptr), nullptr);
  SAFEARRAYBOUND huge[2] = {{0xFFFFFFFFu, 0}, {0xFFFFFFFFu, 0}};
  EXPECT_EQ(SafeArrayCreate(VT_VARIANT, 2, huge), nullptr);
}

TEST(SafeArray, StringElementsAreCopiedInAndOut) {
  SAFEARRAY* psa = SafeArrayCreateVector(VT_BSTR, 0, 2);
  EXPECT_TRUE(psa->fFeatures & FADF_BSTR);
  BSTR mine = SysAllocString(u"abc");
  LONG index = 1;
  ASSERT_EQ(SafeArrayPutElement(psa, &index, mine), S_OK);
  SysFreeString(mine);
  BSTR out1 = nullptr, out2 = nullptr;
  ASSERT_EQ(SafeArrayGetElement(psa, &index, &out1), S_OK);
  ASSERT_EQ(SafeArrayGetElement(psa, &index, &out2), S_OK);
  EXPECT_NE(out1, out2);
  EXPECT_EQ(std::u16string(out1), u"abc");
  ASSERT_EQ(SafeArrayPutElement(psa, &index, out2), S_OK);  // replacing frees the old element
  index = 0;
  BSTR unset = out1;
  ASSERT_EQ(SafeArrayGetElement(psa, &index, &unset), S_OK);
  EXPECT_EQ(unset, nullptr);  // never put: a null string
  SysFreeString(out1);
  SysFreeString(out2);
  EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
}

TEST(SafeArray, VariantAndInterfaceElementsAreCountedAndReleased) {
  CountingObject object, other;
  SAFEARRAY* variants = SafeArrayCreateVector(VT_VARIANT, 0, 1);
  VARIANT in{};
  in.vt = VT_DISPATCH;
  in.pdispVal = &object;
  LONG index = 0;
  ASSERT_EQ(SafeArrayPutElement(variants, &index, &in), S_OK);
  EXPECT_EQ(object.refs(), 1u);
  VARIANT out;
  ASSERT_EQ(SafeArrayGetElement(variants, &index, &out), S_OK);
  EXPECT_EQ(object.refs(), 2u);
  VariantClear(&out);
  EXPECT_EQ(SafeArrayDestroy(variants), S_OK);
  EXPECT_EQ(object.refs(), 0u);

  SAFEARRAY* unknowns = SafeArrayCreateVector(VT_UNKNOWN, 0, 1);
  ASSERT_EQ(SafeArrayPutElement(unknowns, &index, static_cast<IUnknown*>(&object)), S_OK);
  ASSERT_EQ(SafeArrayPutElement(unknowns, &index, static_cast<IUnknown*>(&other)), S_OK);
  EXPECT_EQ(object.refs(), 0u);
  EXPECT_EQ(other.refs(), 1u);
  EXPECT_EQ(SafeArrayDestroy(unknowns), S_OK);
  EXPECT_EQ(other.refs(), 0u);
}

TEST(SafeArray, BoundsAreChecked) {
  SAFEARRAY* psa = SafeArrayCreateVector(VT_UI1, -2, 4);  // -2 .. 1
  BYTE value = 7;
  for (LONG bad : std::initializer_list<LONG>{-3, 2, INT32_MIN, INT32_MAX}) {
    EXPECT_EQ(SafeArrayPutElement(psa, &bad, &value), DISP_E_BADINDEX) << bad;
    EXPECT_EQ(SafeArrayGetElement(psa, &bad, &value), DISP_E_BADINDEX) << bad;
  }
  LONG last = 1;
  ASSERT_EQ(SafeArrayPutElement(psa, &last, &value), S_OK);
  EXPECT_EQ(static_cast<BYTE*>(psa->pvData)[3], 7);
  EXPECT_EQ(SafeArrayGetElement(nullptr, &last, &value), E_INVALIDARG);
  EXPECT_EQ(SafeArrayPutElement(psa, nullptr, &value), E_INVALIDARG);
  EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
}

TEST(SafeArray, LockingBlocksDestroy) {
  SAFEARRAY* psa = SafeArrayCreateVector(VT_I4, 0, 2);
  void* data = nullptr;
  ASSERT_EQ(SafeArrayAccessData(psa, &data), S_OK);
  ASSERT_EQ(SafeArrayAccessData(psa, &data), S_OK);
  EXPECT_EQ(SafeArrayDestroy(psa), DISP_E_ARRAYISLOCKED);
  EXPECT_EQ(SafeArrayUnaccessData(psa), S_OK);
  EXPECT_EQ(SafeArrayDestroy(psa), DISP_E_ARRAYISLOCKED);
  EXPECT_EQ(SafeArrayUnaccessData(psa), S_OK);
  EXPECT_EQ(SafeArrayUnaccessData(psa), E_UNEXPECTED);
  EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
  EXPECT_EQ(SafeArrayDestroy(nullptr), S_OK);
}

TEST(SafeArray, MultipleDimensionsLeftMostFirstAndFastest) {
  SAFEARRAYBOUND bounds[2] = {{2, 1}, {3, 0}};  // rows 1..2 by columns 0..2
  SAFEARRAY* psa = SafeArrayCreate(VT_I4, 2, bounds);
  ASSERT_NE(psa, nullptr);
  LONG upper;
  ASSERT_EQ(SafeArrayGetUBound(psa, 2, &upper), S_OK);
  EXPECT_EQ(upper, 2);
  EXPECT_EQ(psa->rgsabound[0].cElements, 3u);  // the header keeps them reversed
  for (LONG row = 1; row <= 2; ++row) {
    for (LONG column = 0; column <= 2; ++column) {
      LONG indices[2] = {row, column};
      LONG value = row * 10 + column;
      ASSERT_EQ(SafeArrayPutElement(psa, indices, &value), S_OK);
    }
  }
  const LONG* data = static_cast<const LONG*>(psa->pvData);
  EXPECT_EQ(std::vector<LONG>(data, data + 6), (std::vector<LONG>{10, 20, 11, 21, 12, 22}));
  LONG value, outside[2] = {3, 0}, swapped[2] = {0, 1};
  EXPECT_EQ(SafeArrayGetElement(psa, outside, &value), DISP_E_BADINDEX);
  EXPECT_EQ(SafeArrayGetElement(psa, swapped, &value), DISP_E_BADINDEX);
  EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
}

}  // namespace

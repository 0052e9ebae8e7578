// UpdateChannels: appends any channel, duplicates included, and reports its
// errors for IUpdateChannels.
#include <gtest/gtest.h>

#include <climits>

#include "qxnet/variant.h"
#include "tests/support/com_test.h"

namespace {

using qx::ComPtr;

class UpdateChannelsTest : public qxtest::ComTest {};

ULONG Refs(IUnknown* object) {
  object->AddRef();
  return object->Release();
}

TEST_F(UpdateChannelsTest, KeepsEveryChannelInOrderAndHoldsAReference) {
  auto channels = qxtest::Create<IUpdateChannels>(CLSID_UpdateChannels);
  auto first = qxtest::Create<IUpdateChannel>(CLSID_UpdateChannel);
  auto second = qxtest::Create<IUpdateChannel>(CLSID_UpdateChannel);
  for (IUpdateChannel* channel : {first.Get(), second.Get(), first.Get()}) {
    ASSERT_EQ(channels->Add(channel), S_OK);
  }
  LONG count = 0;
  channels->get_Count(&count);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(Refs(first.Get()), 3u);
  ComPtr<IUpdateChannel> got;
  ASSERT_EQ(channels->Item(1, got.Put()), S_OK);
  EXPECT_EQ(got.Get(), second.Get());

  ComPtr<IUnknown> unknown;
  ASSERT_EQ(channels->get__NewEnum(unknown.Put()), S_OK);
  qx::Variant all[3];
  ULONG fetched = 0;
  ASSERT_EQ(unknown.As<IEnumVARIANT>()->Next(3, all, &fetched), S_OK);
  ASSERT_EQ(all[2].vt, VT_DISPATCH);
  EXPECT_EQ(qx::QueryAs<IUpdateChannel>(all[2].pdispVal).Get(), first.Get());
  for (auto& v : all) v.Clear();
  unknown = nullptr;
  channels = nullptr;  // releases what it held
  EXPECT_EQ(Refs(first.Get()), 1u);
}

TEST_F(UpdateChannelsTest, ReportsItsOwnErrors) {
  auto channels = qxtest::Create<IUpdateChannels>(CLSID_UpdateChannels);
  EXPECT_EQ(channels->Add(nullptr), E_POINTER);
  EXPECT_EQ(qxtest::TakeErrorRecord().description, u"Invalid parameter");
  ComPtr<IUpdateChannel> got;
  for (LONG bad : {LONG(0), LONG(-1), LONG(INT_MIN), LONG(INT_MAX)}) {
    EXPECT_EQ(channels->Item(bad, got.Put()), E_INVALIDARG);
    EXPECT_EQ(qxtest::TakeErrorRecord().description, u"Invalid index");
  }
}

}  // namespace

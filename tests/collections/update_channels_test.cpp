// UpdateChannels: appends any channel, duplicates included, and reports its
// errors for IUpdateChannels.
#include <gtest/gtest.h>

#include <climits>

#include "server/object_frame/variant.h"
#include "tests/collections/test_objects.h"
#include "tests/support/com_test.h"

namespace {

using collections_test::TestChannel;
using qx::ComPtr;

class UpdateChannelsTest : public qxtest::ComTest {};

TEST_F(UpdateChannelsTest, KeepsEveryChannelInOrderAndHoldsAReference) {
  ComPtr<IUpdateChannels> channels = qxtest::Create<IUpdateChannels>(CLSID_UpdateChannels);
  auto* first = new TestChannel;
  auto* second = new TestChannel;
  ASSERT_EQ(channels->Add(first), S_OK);
  ASSERT_EQ(channels->Add(second), S_OK);
  ASSERT_EQ(channels->Add(first), S_OK);
  LONG count = 0;
  channels->get_Count(&count);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(first->refs, 3u);

  ComPtr<IUpdateChannel> got;
  ASSERT_EQ(channels->Item(1, got.Put()), S_OK);
  EXPECT_EQ(got.Get(), second);
  got = nullptr;

  ComPtr<IUnknown> unknown;
  ASSERT_EQ(channels->get__NewEnum(unknown.Put()), S_OK);
  ComPtr<IEnumVARIANT> e = unknown.As<IEnumVARIANT>();
  qx::Variant all[3];
  ULONG fetched = 0;
  ASSERT_EQ(e->Next(3, all, &fetched), S_OK);
  EXPECT_EQ(all[2].vt, VT_DISPATCH);
  EXPECT_EQ(all[2].pdispVal, static_cast<IDispatch*>(first));
  for (auto& v : all) v.Clear();
  e = nullptr;
  unknown = nullptr;

  channels = nullptr;  // releases what it held
  EXPECT_EQ(first->refs, 1u);
  first->Release();
  second->Release();
}

TEST_F(UpdateChannelsTest, ReportsItsOwnErrors) {
  ComPtr<IUpdateChannels> channels = qxtest::Create<IUpdateChannels>(CLSID_UpdateChannels);
  EXPECT_EQ(channels->Add(nullptr), E_POINTER);
  qxtest::ErrorRecord record = qxtest::TakeErrorRecord();
  EXPECT_EQ(record.description, u"Invalid parameter");
  EXPECT_EQ(record.source, u"QXNet.UpdateChannels.1");
  EXPECT_TRUE(record.iid == IID_IUpdateChannels);
  ComPtr<IUpdateChannel> got;
  for (LONG bad : {LONG(0), LONG(-1), LONG(INT_MIN), LONG(INT_MAX)}) {
    EXPECT_EQ(channels->Item(bad, got.Put()), E_INVALIDARG);
    EXPECT_EQ(qxtest::TakeErrorRecord().description, u"Invalid index");
  }
  EXPECT_EQ(channels->get_Count(nullptr), E_POINTER);
}

}  // namespace

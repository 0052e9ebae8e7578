// UpdateChannel: texts, the shared item collection created on first use, and
// the error reports. That the check date holds nothing is the null-result
// test's case over every class.
#include <gtest/gtest.h>

#include "tests/support/feed_fixture.h"

namespace {

using feedtest::WideText;
using qx::BStr;
using qx::ComPtr;

class UpdateChannelTest : public qxtest::ObjectTest<IUpdateChannel, CLSID_UpdateChannel> {
 protected:
  qx::ComPtr<IUpdateChannel>& channel = object;
};

TEST_F(UpdateChannelTest, TextsStartAbsentAndKeepTheirFullLength) {
  using Get = HRESULT (STDMETHODCALLTYPE IUpdateChannel::*)(BSTR*);
  using Put = HRESULT (STDMETHODCALLTYPE IUpdateChannel::*)(BSTR);
  const std::pair<Get, Put> fields[] = {
      {&IUpdateChannel::get_title, &IUpdateChannel::put_title},
      {&IUpdateChannel::get_link, &IUpdateChannel::put_link},
      {&IUpdateChannel::get_description, &IUpdateChannel::put_description},
  };
  for (const auto& [get, put] : fields) {
    BStr value(u"stale");
    ASSERT_EQ((channel.Get()->*get)(value.Put()), S_OK);
    EXPECT_TRUE(value.IsNull()) << "a new channel's text is absent";

    EXPECT_EQ((channel.Get()->*put)(nullptr), S_OK);
    ASSERT_EQ((channel.Get()->*get)(value.Put()), S_OK);
    EXPECT_FALSE(value.IsNull()) << "a null put stores empty text";
    EXPECT_EQ(value.Length(), 0u);

    const std::u16string withZero(u"a\0b", 3);
    BStr arg(withZero);
    EXPECT_EQ((channel.Get()->*put)(arg.Get()), S_OK);
    EXPECT_EQ(WideText(channel.Get(), get), withZero);
  }
}

TEST_F(UpdateChannelTest, ItemsAreOneCollectionSharedByEveryCaller) {
  ComPtr<IUpdateItems> first, second;
  ASSERT_EQ(channel->get_items(first.Put()), S_OK);
  ASSERT_EQ(channel->get_items(second.Put()), S_OK);
  ASSERT_TRUE(first && second);
  EXPECT_EQ(first.Get(), second.Get());

  ComPtr<IUpdateItem> item = qxtest::Create<IUpdateItem>(CLSID_UpdateItem);
  ASSERT_EQ(first->Add(item.Get()), S_OK);
  // The collection outlives a caller's reference and goes with the channel.
  first = nullptr;
  second = nullptr;
  ASSERT_EQ(channel->get_items(first.Put()), S_OK);
  LONG count = 0;
  ASSERT_EQ(first->get_Count(&count), S_OK);
  EXPECT_EQ(count, 1);
}

TEST_F(UpdateChannelTest, FailedItemsCreationIsReportedAndTriedAgain) {
  // Without the ProgID the collection cannot be found by name.
  ASSERT_EQ(RegDeleteTreeW(HKEY_CLASSES_ROOT, u"QXNet.UpdateItems"), ERROR_SUCCESS);
  ComPtr<IUpdateItems> items;
  EXPECT_TRUE(FAILED(channel->get_items(items.Put())));
  EXPECT_FALSE(items);
  EXPECT_EQ(qxtest::TakeErrorText(), "Failed to create QXNet.UpdateItems");

  ASSERT_EQ(DllRegisterServer(), S_OK);
  EXPECT_EQ(channel->get_items(items.Put()), S_OK);
  EXPECT_TRUE(items);
}

}  // namespace

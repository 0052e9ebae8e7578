// AddItems: a batch added to one of the module's item collections keeps the
// order and drops every item whose guid (ignoring case) the list already
// holds or an earlier item of the batch brings, as Add one by one does; a
// collection of another implementation gets the items through Add.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "server/collections/item_batch.h"
#include "tests/collections/test_objects.h"
#include "tests/support/com_test.h"

namespace {

using collections_test::Guids;
using collections_test::NewItem;
using qx::BStr;
using qx::ComPtr;

class ItemBatchTest : public qxtest::ObjectTest<IUpdateItems, CLSID_UpdateItems> {};

TEST_F(ItemBatchTest, DropsGuidsHeldOrRepeatedInTheBatchAndKeepsOrder) {
  ASSERT_EQ(object->Add(NewItem(u"{A}").Get()), S_OK);
  const std::vector<ComPtr<IUpdateItem>> batch = {
      NewItem(u"{b}"), NewItem(u"{a}"), NewItem(u"{C}"), NewItem(u"{B}"),
      NewItem(u""),    NewItem(u"{c}"), NewItem(u""),
  };
  ASSERT_EQ(qx::AddItems(*object.Get(), batch), S_OK);
  EXPECT_EQ(Guids(object.Get()), (std::vector<std::u16string>{u"{A}", u"{b}", u"{C}", u""}));

  // The index built for the batch follows later changes like any other.
  BStr renamed(u"{D}");
  ASSERT_EQ(batch[0]->put_guid(renamed.Get()), S_OK);
  VARIANT_BOOL found = VARIANT_FALSE;
  ASSERT_EQ(object->InCollection(renamed.Get(), &found), S_OK);
  EXPECT_EQ(found, VARIANT_TRUE);
  ASSERT_EQ(object->Add(NewItem(u"{b}").Get()), S_OK);
  EXPECT_EQ(Guids(object.Get()).back(), u"{b}");
}

}  // namespace

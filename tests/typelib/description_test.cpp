// The description against the library's published identity: dispids of the
// interfaces, slot order of the tables, and the coclasses.
#include <gtest/gtest.h>

#include <string>

#include "qxnet/text.h"
#include "server/type_library/type_library.h"

namespace typelib_test {
namespace {

using namespace qx::typelib;

DISPID IdOf(const GUID& iid, const char16_t* name) {
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  DISPID id = 12345;
  EXPECT_EQ(GetIDsOfNames(iid, names, 1, &id), S_OK) << qx::Utf16ToUtf8(name);
  return id;
}

struct Expected {
  const GUID* iid;
  const char16_t* name;
  DISPID id;
};

TEST(Description, DispatchIdentifiersAreThePublishedOnes) {
  // One member of each interface, the last of the longer ones: a changed
  // table moves one of these. The members the dispatch tests call by
  // identifier (RetrieveFile, AttemptConnect, CLRVersions, pubDate, Item,
  // __NewEnum) are checked there.
  const Expected expected[] = {
      {&IID__QXNet, u"UploadFileForm", 7},          {&DIID___QXNetEvents, u"End", 2},
      {&IID_IUpdateItem, u"required", 11},          {&IID_IUpdateItems, u"SortByPubDate", 7},
      {&IID_IUpdateChannel, u"lastCheckDate", 5},   {&IID_IUpdateChannels, u"Add", 2},
      {&IID_IStringCollection, u"InCollection", 3}, {&IID_IUpdateDocument, u"Save", 3},
      {&IID_IUpdateCatalog, u"tplPassword", 13},    {&IID_IUpdateCatalog, u"Load", 18},
      {&IID_IUpdateWorkUnit, u"MoveToPending", 8},
  };
  for (const Expected& e : expected) EXPECT_EQ(IdOf(*e.iid, e.name), e.id);
}

// Each table lists its members in the interface's slot order, so the
// position of an entry is the position of its vtable slot.
TEST(Description, TablesAreInSlotOrder) {
  for (const InterfaceDesc& d : Library().interfaces) {
    if (d.kind == InterfaceKind::Dispatch) continue;
    const std::ptrdiff_t first = d.kind == InterfaceKind::Dual ? 7 : 3;
    for (std::size_t i = 0; i < d.members.size(); ++i) {
      ASSERT_NE(d.members[i].vtableOffset, nullptr);
      EXPECT_EQ(d.members[i].vtableOffset(),
                static_cast<std::ptrdiff_t>((first + i) * sizeof(void*)))
          << qx::Utf16ToUtf8(d.members[i].name);
    }
  }
}

TEST(Description, EveryInterfaceAndClassIsDescribed) {
  // Every described interface is found by its identifier, once.
  for (const InterfaceDesc& d : Library().interfaces) EXPECT_EQ(FindInterface(*d.iid), &d);
  EXPECT_EQ(Library().interfaces.size(), 21u);
  EXPECT_EQ(*Library().libid, LIBID_QXNETLib);
  EXPECT_EQ(FindInterfaceByName(u"iupdatecatalog"), FindInterface(IID_IUpdateCatalog));

  ASSERT_EQ(Coclasses().size(), 11u);
  EXPECT_EQ(std::u16string(Coclasses()[0].name), u"QXNet");
  EXPECT_EQ(std::u16string(Coclasses()[9].name), u"UpdateWorkUnit");
  for (const CoclassDesc& c : Coclasses()) {
    const std::u16string expected = *c.clsid == CLSID_QXDetectNet ? u"Free" : u"Apartment";
    EXPECT_EQ(std::u16string(c.threadingModel), expected);
    EXPECT_EQ(std::u16string(c.progId), u"QXNet." + std::u16string(c.name) + u".1");
    EXPECT_EQ(FindCoclass(*c.clsid), &c);
  }

  const CoclassDesc* item = FindCoclassByName(u"qxnet.updateitem.1");
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(*item->clsid, CLSID_UpdateItem);
  EXPECT_EQ(std::u16string(item->description), u"UpdateItem Class");
  EXPECT_EQ(item->defaultInterface, FindInterface(IID_IUpdateItem));
  EXPECT_EQ(item->otherInterface, FindInterface(IID_IUpdateItem2));
  EXPECT_EQ(item->sourceInterface, FindInterface(DIID__IUpdateItemEvents));
  EXPECT_EQ(*FindCoclassByName(u"QXNet.UpdateVerifier")->defaultInterface->iid,
            IID_IUpdateVerifier);
  EXPECT_EQ(FindCoclassByName(u"QXNet.UpdateItems"), FindCoclass(CLSID_UpdateItems));
  EXPECT_EQ(FindCoclassByName(u"UpdateDocument")->sourceInterface, nullptr);
  EXPECT_EQ(FindCoclassByName(u"QXNet")->otherInterface, FindInterface(IID__QXNetConnect));
  EXPECT_EQ(FindCoclassByName(u"QXNet.Nothing"), nullptr);
}

}  // namespace
}  // namespace typelib_test

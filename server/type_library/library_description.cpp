// QXNETLib, described once: every interface with its members in slot order,
// the outgoing interfaces, and the coclasses. Each entry of a dual or custom
// interface is bound to its C++ member, which fixes its parameter types.
#include "server/type_library/member_binding.h"
#include "server/type_library/name_match.h"
#include "server/type_library/type_library.h"

namespace qx::typelib {
namespace {

constexpr Dir In = Dir::In;
constexpr Dir InOut = Dir::InOut;
constexpr Dir Retval = Dir::OutRetval;
constexpr Kind Method = Kind::Method;
constexpr Kind Get = Kind::PropGet;
constexpr Kind Put = Kind::PropPut;

// A property getter and setter pair.
#define QX_PROPERTY(Iface, Name, id)                                      \
  Member<&Iface::get_##Name>(u## #Name, id, Get, Param(u"pVal", Retval)), \
      Member<&Iface::put_##Name>(u## #Name, id, Put, Param(u"newVal", In))
#define QX_GETTER(Iface, Name, id) \
  (Member<&Iface::get_##Name>(u## #Name, id, Get, Param(u"pVal", Retval)))

constexpr MemberDesc kQXNet[] = {
    Member<&_QXNet::RetrieveFile>(u"RetrieveFile", 1, Method, Param(u"url", In),
                                  Param(u"parentWnd", In), Param(u"fileName", InOut)),
    Member<&_QXNet::UploadFile>(u"UploadFile", 2, Method, Param(u"fileName", In), Param(u"url", In),
                                Param(u"parentWnd", In), Param(u"returnFile", InOut)),
    Member<&_QXNet::ValidateUrl>(u"ValidateUrl", 3, Method, Param(u"url", In)),
    Member<&_QXNet::GetCacheInfo>(u"GetCacheInfo", 4, Method, Param(u"url", In),
                                  Param(u"parentWnd", In), Param(u"bCacheFileExists", InOut),
                                  Param(u"bCacheFileCurrent", InOut),
                                  Param(u"cacheFileName", InOut)),
    QX_GETTER(_QXNet, IsConnected, 5),
    Member<&_QXNet::CanConnect>(u"CanConnect", 6, Method, Param(u"url", In),
                                Param(u"retVal", Retval)),
    Member<&_QXNet::UploadFileForm>(u"UploadFileForm", 7, Method, Param(u"fileName", In),
                                    Param(u"url", In), Param(u"parentWnd", In),
                                    Param(u"formFieldName", In), Param(u"displayBrowser", In)),
};

constexpr MemberDesc kQXNetConnect[] = {
    Member<&_QXNetConnect::AttemptConnect>(u"AttemptConnect", 101, Method, Param(u"host", In),
                                           Param(u"port", In), Param(u"timeoutMilliseconds", In),
                                           Param(u"retVal", Retval)),
};

constexpr MemberDesc kQXNetEvents[] = {
    DispMember(u"OnProgress", 1, DispParam(u"titleText", In, VT_BSTR),
               DispParam(u"progress", In, VT_I4), DispParam(u"bCancel", Dir::Out, VT_BOOL, true)),
    DispMember(u"End", 2),
};

constexpr MemberDesc kQXDetectNet[] = {
    QX_GETTER(_QXDetectNet, IsDotNetPresent, 1),
    QX_GETTER(_QXDetectNet, InstallRootPath, 2),
    QX_GETTER(_QXDetectNet, CLRVersions, 3),
};

// The members of IUpdateItem, which IUpdateItem2 begins with.
#define QX_UPDATE_ITEM_MEMBERS                                                     \
  QX_PROPERTY(IUpdateItem, title, 1), QX_PROPERTY(IUpdateItem, link, 2),           \
      QX_PROPERTY(IUpdateItem, description, 3), QX_PROPERTY(IUpdateItem, guid, 4), \
      QX_PROPERTY(IUpdateItem, category, 5), QX_PROPERTY(IUpdateItem, pubDate, 6), \
      Member<&IUpdateItem::MarshallObject>(u"MarshallObject", 7, Method,           \
                                           Param(u"retVal", Retval)),              \
      Member<&IUpdateItem::UnMarshallObject>(u"UnMarshallObject", 8, Method,       \
                                             Param(u"retVal", In)),                \
      QX_PROPERTY(IUpdateItem, status, 10), QX_PROPERTY(IUpdateItem, required, 11)

constexpr MemberDesc kUpdateItem[] = {QX_UPDATE_ITEM_MEMBERS};

// The second item interface: the first one's members, then the payload
// description.
constexpr MemberDesc kUpdateItem2[] = {
    QX_UPDATE_ITEM_MEMBERS,
    QX_PROPERTY(IUpdateItem2, enclosureUrl, 12),
    QX_PROPERTY(IUpdateItem2, enclosureLength, 13),
    QX_PROPERTY(IUpdateItem2, enclosureType, 14),
    QX_PROPERTY(IUpdateItem2, sha256, 15),
    QX_PROPERTY(IUpdateItem2, edSignature, 16),
};

constexpr MemberDesc kUpdateVerifier[] = {
    QX_PROPERTY(IUpdateVerifier, publicKey, 1),
    Member<&IUpdateVerifier::Verify>(u"Verify", 2, Method, Param(u"item", In),
                                     Param(u"fileName", In)),
};

constexpr MemberDesc kUpdateItems[] = {
    Member<&IUpdateItems::Item>(u"Item", DISPID_VALUE, Method, Param(u"index", In),
                                Param(u"pItem", Retval)),
    QX_GETTER(IUpdateItems, Count, 1),
    Member<&IUpdateItems::get__NewEnum>(u"__NewEnum", DISPID_NEWENUM, Get, Param(u"pVal", Retval)),
    Member<&IUpdateItems::Add>(u"Add", 2, Method, Param(u"newItem", In)),
    Member<&IUpdateItems::InCollection>(u"InCollection", 3, Method, Param(u"guid", In),
                                        Param(u"retVal", Retval)),
    Member<&IUpdateItems::MarshallObject>(u"MarshallObject", 4, Method, Param(u"retVal", Retval)),
    Member<&IUpdateItems::UnMarshallObject>(u"UnMarshallObject", 5, Method, Param(u"retVal", In)),
    Member<&IUpdateItems::Remove>(u"Remove", 6, Method, Param(u"Item", In)),
    Member<&IUpdateItems::SortByPubDate>(u"SortByPubDate", 7, Method),
};

constexpr MemberDesc kUpdateChannel[] = {
    QX_GETTER(IUpdateChannel, items, 1),           QX_PROPERTY(IUpdateChannel, title, 2),
    QX_PROPERTY(IUpdateChannel, link, 3),          QX_PROPERTY(IUpdateChannel, description, 4),
    QX_PROPERTY(IUpdateChannel, lastCheckDate, 5),
};

constexpr MemberDesc kUpdateChannels[] = {
    Member<&IUpdateChannels::Item>(u"Item", DISPID_VALUE, Method, Param(u"index", In),
                                   Param(u"pItem", Retval)),
    QX_GETTER(IUpdateChannels, Count, 1),
    Member<&IUpdateChannels::get__NewEnum>(u"__NewEnum", DISPID_NEWENUM, Get,
                                           Param(u"pVal", Retval)),
    Member<&IUpdateChannels::Add>(u"Add", 2, Method, Param(u"newItem", In)),
};

constexpr MemberDesc kStringCollection[] = {
    Member<&IStringCollection::Item>(u"Item", DISPID_VALUE, Method, Param(u"index", In),
                                     Param(u"pItem", Retval)),
    QX_GETTER(IStringCollection, Count, 1),
    Member<&IStringCollection::get__NewEnum>(u"__NewEnum", DISPID_NEWENUM, Get,
                                             Param(u"pVal", Retval)),
    Member<&IStringCollection::Add>(u"Add", 2, Method, Param(u"newItem", In)),
    Member<&IStringCollection::InCollection>(u"InCollection", 3, Method, Param(u"str", In),
                                             Param(u"retVal", Retval)),
};

constexpr MemberDesc kUpdateDocument[] = {
    QX_GETTER(IUpdateDocument, channels, 1),
    Member<&IUpdateDocument::Parse>(u"Parse", 2, Method, Param(u"fileName", In)),
    Member<&IUpdateDocument::Save>(u"Save", 3, Method, Param(u"fileName", In)),
};

constexpr MemberDesc kUpdateCatalog[] = {
    QX_PROPERTY(IUpdateCatalog, fileName, 1),
    QX_PROPERTY(IUpdateCatalog, feedUrl, 2),
    QX_GETTER(IUpdateCatalog, fileFormatVersion, 3),
    QX_GETTER(IUpdateCatalog, NotInstalledItems, 4),
    Member<&IUpdateCatalog::Save>(u"Save", 5, Method),
    QX_GETTER(IUpdateCatalog, nextCheckDate, 6),
    QX_PROPERTY(IUpdateCatalog, checkInterval, 7),
    QX_GETTER(IUpdateCatalog, lastCheckDate, 8),
    Member<&IUpdateCatalog::UpdateLastCheckDate>(u"UpdateLastCheckDate", 9, Method),
    QX_PROPERTY(IUpdateCatalog, setTitle, 10),
    Member<&IUpdateCatalog::ReconcileWithUpdateDocument>(u"ReconcileWithUpdateDocument", 11, Method,
                                                         Param(u"doc", In)),
    QX_GETTER(IUpdateCatalog, timeToCheck, 12),
    QX_PROPERTY(IUpdateCatalog, tplPassword, 13),
    QX_PROPERTY(IUpdateCatalog, shouldUpdate, 14),
    QX_PROPERTY(IUpdateCatalog, publishDate, 15),
    QX_GETTER(IUpdateCatalog, InstalledItems, 16),
    QX_GETTER(IUpdateCatalog, DiscardedItems, 17),
    Member<&IUpdateCatalog::Load>(u"Load", 18, Method),
};

constexpr MemberDesc kUpdateWorkUnit[] = {
    QX_PROPERTY(IUpdateWorkUnit, catalog, 1),
    QX_PROPERTY(IUpdateWorkUnit, UpdateDocument, 2),
    QX_GETTER(IUpdateWorkUnit, toInstallItems, 3),
    QX_GETTER(IUpdateWorkUnit, toDiscardItems, 4),
    QX_GETTER(IUpdateWorkUnit, allItems, 5),
    Member<&IUpdateWorkUnit::MoveToInstalled>(u"MoveToInstalled", 6, Method, Param(u"pItem", In)),
    Member<&IUpdateWorkUnit::MoveToDiscarded>(u"MoveToDiscarded", 7, Method, Param(u"pItem", In)),
    Member<&IUpdateWorkUnit::MoveToPending>(u"MoveToPending", 8, Method, Param(u"pItem", In)),
};

#undef QX_UPDATE_ITEM_MEMBERS
#undef QX_PROPERTY
#undef QX_GETTER

constexpr InterfaceKind Dual = InterfaceKind::Dual;
constexpr InterfaceKind Events = InterfaceKind::Dispatch;

// Order matters only for the indexes of GetRefTypeInfo; the coclasses below
// refer to entries by position.
constexpr InterfaceDesc kInterfaces[] = {
    {u"_QXNet", &IID__QXNet, Dual, kQXNet},                                        // 0
    {u"_QXNetConnect", &IID__QXNetConnect, InterfaceKind::Custom, kQXNetConnect},  // 1
    {u"__QXNetEvents", &DIID___QXNetEvents, Events, kQXNetEvents},                 // 2
    {u"_QXDetectNet", &IID__QXDetectNet, Dual, kQXDetectNet},                      // 3
    {u"__QXDetectNetEvents", &DIID___QXDetectNetEvents, Events, {}},               // 4
    {u"IUpdateChannel", &IID_IUpdateChannel, Dual, kUpdateChannel},                // 5
    {u"_IUpdateChannelEvents", &DIID__IUpdateChannelEvents, Events, {}},           // 6
    {u"IUpdateItems", &IID_IUpdateItems, Dual, kUpdateItems},                      // 7
    {u"_IUpdateItemsEvents", &DIID__IUpdateItemsEvents, Events, {}},               // 8
    {u"IUpdateItem", &IID_IUpdateItem, Dual, kUpdateItem},                         // 9
    {u"_IUpdateItemEvents", &DIID__IUpdateItemEvents, Events, {}},                 // 10
    {u"IUpdateDocument", &IID_IUpdateDocument, Dual, kUpdateDocument},             // 11
    {u"IUpdateChannels", &IID_IUpdateChannels, Dual, kUpdateChannels},             // 12
    {u"_IUpdateChannelsEvents", &DIID__IUpdateChannelsEvents, Events, {}},         // 13
    {u"IUpdateCatalog", &IID_IUpdateCatalog, Dual, kUpdateCatalog},                // 14
    {u"_IUpdateCatalogEvents", &DIID__IUpdateCatalogEvents, Events, {}},           // 15
    {u"IStringCollection", &IID_IStringCollection, Dual, kStringCollection},       // 16
    {u"_IStringCollectionEvents", &DIID__IStringCollectionEvents, Events, {}},     // 17
    {u"IUpdateWorkUnit", &IID_IUpdateWorkUnit, Dual, kUpdateWorkUnit},             // 18
    {u"IUpdateItem2", &IID_IUpdateItem2, Dual, kUpdateItem2},                      // 19
    {u"IUpdateVerifier", &IID_IUpdateVerifier, Dual, kUpdateVerifier},             // 20
};

constexpr const InterfaceDesc* I(std::size_t index) { return &kInterfaces[index]; }

#define QX_COCLASS(Name, threading, def, other, source)                                  \
  CoclassDesc {                                                                          \
    u## #Name, &CLSID_##Name, u"QXNet." #Name ".1", u"QXNet." #Name, u## #Name " Class", \
        threading, def, other, source                                                    \
  }

// Registration order of the module's object map.
constexpr CoclassDesc kCoclasses[] = {
    QX_COCLASS(QXNet, u"Apartment", I(0), I(1), I(2)),
    QX_COCLASS(QXDetectNet, u"Free", I(3), nullptr, I(4)),
    QX_COCLASS(UpdateChannel, u"Apartment", I(5), nullptr, I(6)),
    QX_COCLASS(UpdateItems, u"Apartment", I(7), nullptr, I(8)),
    QX_COCLASS(UpdateItem, u"Apartment", I(9), I(19), I(10)),
    QX_COCLASS(UpdateDocument, u"Apartment", I(11), nullptr, nullptr),
    QX_COCLASS(UpdateChannels, u"Apartment", I(12), nullptr, I(13)),
    QX_COCLASS(UpdateCatalog, u"Apartment", I(14), nullptr, I(15)),
    QX_COCLASS(StringCollection, u"Apartment", I(16), nullptr, I(17)),
    QX_COCLASS(UpdateWorkUnit, u"Apartment", I(18), nullptr, nullptr),
    QX_COCLASS(UpdateVerifier, u"Apartment", I(20), nullptr, nullptr),
};

#undef QX_COCLASS

static_assert(std::size(kCoclasses) == kCoclassCount, "kCoclassCount must count the coclasses");

constexpr LibraryDesc kLibrary{u"QXNETLib", &LIBID_QXNETLib, 1, 0, kInterfaces, kCoclasses};

}  // namespace

const LibraryDesc& Library() { return kLibrary; }

std::span<const CoclassDesc> Coclasses() { return kCoclasses; }

const InterfaceDesc* FindInterface(const IID& iid) {
  for (const InterfaceDesc& d : kInterfaces)
    if (*d.iid == iid) return &d;
  return nullptr;
}

const InterfaceDesc* FindInterfaceByName(std::u16string_view name) {
  for (const InterfaceDesc& d : kInterfaces)
    if (NamesEqual(d.name, name)) return &d;
  return nullptr;
}

const CoclassDesc* FindCoclass(const CLSID& clsid) {
  for (const CoclassDesc& c : kCoclasses)
    if (*c.clsid == clsid) return &c;
  return nullptr;
}

const CoclassDesc* FindCoclassByName(std::u16string_view name) {
  for (const CoclassDesc& c : kCoclasses)
    if (NamesEqual(c.name, name) || NamesEqual(c.progId, name) ||
        NamesEqual(c.versionIndependentProgId, name))
      return &c;
  return nullptr;
}

}  // namespace qx::typelib

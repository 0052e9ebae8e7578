// The QXNETLib type library as C++ interfaces: identifiers, slot orders and
// parameter names of every class of the library. Property accessors are the
// get_/put_ pairs of the dual interfaces; every interface derives from
// IDispatch except _QXNetConnect, which derives from IUnknown only.
#pragma once

#include "qxnet/platform.h"

// clang-format off
QX_DEFINE_GUID(LIBID_QXNETLib, 0xC30D92CF, 0xC4BD, 0x4851, 0xB7, 0x49, 0xFE, 0x4B, 0xED, 0x13, 0xAF, 0x0C);  // {C30D92CF-C4BD-4851-B749-FE4BED13AF0C}
QX_DEFINE_GUID(CLSID_QXNet, 0x7ECC8AFF, 0xB245, 0x42A4, 0xB5, 0xB0, 0xDF, 0x3E, 0x38, 0xA5, 0x68, 0x9C);  // {7ECC8AFF-B245-42A4-B5B0-DF3E38A5689C}
QX_DEFINE_GUID(IID__QXNet, 0xF62D5827, 0x49F7, 0x492F, 0xA2, 0xC6, 0xA8, 0xE9, 0xE3, 0x5A, 0x57, 0xCB);  // {F62D5827-49F7-492F-A2C6-A8E9E35A57CB}
QX_DEFINE_GUID(IID__QXNetConnect, 0xF62D5828, 0x49F7, 0x492F, 0xA2, 0xC6, 0xA8, 0xE9, 0xE3, 0x5A, 0x57, 0xCB);  // {F62D5828-49F7-492F-A2C6-A8E9E35A57CB}
QX_DEFINE_GUID(DIID___QXNetEvents, 0x4B477E1F, 0x2AD8, 0x4E6D, 0xBF, 0xE1, 0x7B, 0xC2, 0x8C, 0x79, 0x14, 0xCB);  // {4B477E1F-2AD8-4E6D-BFE1-7BC28C7914CB}
QX_DEFINE_GUID(CLSID_QXDetectNet, 0xFF4983DA, 0xC83E, 0x4C11, 0x84, 0x54, 0x67, 0xBA, 0xD3, 0x8A, 0x47, 0xB1);  // {FF4983DA-C83E-4C11-8454-67BAD38A47B1}
QX_DEFINE_GUID(IID__QXDetectNet, 0x53D3BA87, 0x441D, 0x4ADF, 0xAE, 0x08, 0x8F, 0x12, 0xF7, 0x63, 0xC0, 0xCC);  // {53D3BA87-441D-4ADF-AE08-8F12F763C0CC}
QX_DEFINE_GUID(DIID___QXDetectNetEvents, 0x9C3E5B21, 0x7A4D, 0x4F0B, 0x8E, 0x62, 0x3D, 0x1A, 0x5C, 0x7B, 0x9E, 0x04);  // {9C3E5B21-7A4D-4F0B-8E62-3D1A5C7B9E04}
QX_DEFINE_GUID(CLSID_UpdateChannel, 0x08040FB0, 0xDC34, 0x4BFB, 0xB0, 0x62, 0xC2, 0x62, 0x1B, 0x20, 0xCF, 0xE3);  // {08040FB0-DC34-4BFB-B062-C2621B20CFE3}
QX_DEFINE_GUID(IID_IUpdateChannel, 0x78997110, 0xB98F, 0x4562, 0x8E, 0xC0, 0xCC, 0x85, 0x35, 0x92, 0x82, 0xB7);  // {78997110-B98F-4562-8EC0-CC85359282B7}
QX_DEFINE_GUID(DIID__IUpdateChannelEvents, 0x6E6B7239, 0x05FD, 0x43C9, 0x9B, 0xB0, 0xF6, 0x29, 0xD7, 0xA9, 0xE8, 0xB1);  // {6E6B7239-05FD-43C9-9BB0-F629D7A9E8B1}
QX_DEFINE_GUID(CLSID_UpdateItems, 0xF9E19E28, 0x6DC7, 0x4584, 0xA5, 0x49, 0x99, 0x05, 0xA3, 0xCA, 0xB4, 0xE8);  // {F9E19E28-6DC7-4584-A549-9905A3CAB4E8}
QX_DEFINE_GUID(IID_IUpdateItems, 0xC7854641, 0xD77A, 0x488D, 0xA5, 0x43, 0xB1, 0x8C, 0xA2, 0xD1, 0xA7, 0xF3);  // {C7854641-D77A-488D-A543-B18CA2D1A7F3}
QX_DEFINE_GUID(DIID__IUpdateItemsEvents, 0x6225ACB1, 0xF516, 0x4AD1, 0xB7, 0x6E, 0x73, 0x04, 0xB9, 0x06, 0x2E, 0xA3);  // {6225ACB1-F516-4AD1-B76E-7304B9062EA3}
QX_DEFINE_GUID(CLSID_UpdateItem, 0x1BACC645, 0xFB55, 0x4237, 0xB9, 0x47, 0x0F, 0x87, 0xDC, 0x33, 0xFC, 0xD4);  // {1BACC645-FB55-4237-B947-0F87DC33FCD4}
QX_DEFINE_GUID(IID_IUpdateItem, 0xCD93F14C, 0x1FBD, 0x4A8A, 0xAF, 0xFF, 0x0E, 0xDC, 0xBB, 0x1A, 0xBC, 0xFB);  // {CD93F14C-1FBD-4A8A-AFFF-0EDCBB1ABCFB}
QX_DEFINE_GUID(DIID__IUpdateItemEvents, 0xADA4C39F, 0xDC74, 0x4633, 0xA7, 0x9A, 0xDC, 0xA0, 0x5B, 0x13, 0xAC, 0x48);  // {ADA4C39F-DC74-4633-A79A-DCA05B13AC48}
QX_DEFINE_GUID(CLSID_UpdateDocument, 0xF669D54B, 0x6B13, 0x4503, 0x98, 0xCE, 0x5F, 0x29, 0xD0, 0x67, 0x8C, 0x77);  // {F669D54B-6B13-4503-98CE-5F29D0678C77}
QX_DEFINE_GUID(IID_IUpdateDocument, 0x687BE310, 0x7E27, 0x4706, 0xB0, 0xBD, 0x75, 0x8D, 0x86, 0x15, 0x5E, 0x09);  // {687BE310-7E27-4706-B0BD-758D86155E09}
QX_DEFINE_GUID(CLSID_UpdateChannels, 0x6B64828D, 0x7104, 0x43B7, 0xA4, 0xF6, 0xA7, 0x6D, 0xBE, 0x24, 0xE4, 0xF2);  // {6B64828D-7104-43B7-A4F6-A76DBE24E4F2}
QX_DEFINE_GUID(IID_IUpdateChannels, 0x812807DB, 0x6F8E, 0x4092, 0x87, 0xF0, 0xA6, 0x7E, 0xD7, 0xDB, 0x5E, 0x50);  // {812807DB-6F8E-4092-87F0-A67ED7DB5E50}
QX_DEFINE_GUID(DIID__IUpdateChannelsEvents, 0xBB3ACE18, 0xFD44, 0x4DE1, 0x90, 0xE2, 0x81, 0xBE, 0x1D, 0x94, 0x6D, 0xFC);  // {BB3ACE18-FD44-4DE1-90E2-81BE1D946DFC}
QX_DEFINE_GUID(CLSID_UpdateCatalog, 0x6B1A8184, 0x5B1A, 0x478E, 0x93, 0x60, 0x74, 0xF9, 0x0A, 0x9E, 0xB8, 0x99);  // {6B1A8184-5B1A-478E-9360-74F90A9EB899}
QX_DEFINE_GUID(IID_IUpdateCatalog, 0x836EABC0, 0x563B, 0x432E, 0x97, 0xE8, 0x92, 0xFA, 0xED, 0xD2, 0xCF, 0xCB);  // {836EABC0-563B-432E-97E8-92FAEDD2CFCB}
QX_DEFINE_GUID(DIID__IUpdateCatalogEvents, 0x5FA202EE, 0x8795, 0x4333, 0x94, 0x28, 0xC9, 0x71, 0x83, 0x71, 0xC1, 0xD3);  // {5FA202EE-8795-4333-9428-C9718371C1D3}
QX_DEFINE_GUID(CLSID_StringCollection, 0xF25AADDB, 0x6E9B, 0x4F1A, 0x96, 0x5D, 0xB4, 0x9F, 0x03, 0xD8, 0xD6, 0x0D);  // {F25AADDB-6E9B-4F1A-965D-B49F03D8D60D}
QX_DEFINE_GUID(IID_IStringCollection, 0x5D4195D1, 0x149D, 0x4869, 0x94, 0x70, 0xA7, 0x7B, 0xC6, 0xD7, 0x26, 0x83);  // {5D4195D1-149D-4869-9470-A77BC6D72683}
QX_DEFINE_GUID(DIID__IStringCollectionEvents, 0x1D49B7C0, 0x8362, 0x41C1, 0x93, 0x1B, 0xF8, 0x6C, 0x5E, 0xB2, 0xF2, 0xED);  // {1D49B7C0-8362-41C1-931B-F86C5EB2F2ED}
QX_DEFINE_GUID(CLSID_UpdateWorkUnit, 0xDD419436, 0x088E, 0x4E58, 0x86, 0xA9, 0x7C, 0x45, 0x20, 0x7B, 0x2C, 0xAC);  // {DD419436-088E-4E58-86A9-7C45207B2CAC}
QX_DEFINE_GUID(IID_IUpdateWorkUnit, 0x3A9AB895, 0x8F2F, 0x4693, 0xBC, 0x0C, 0x87, 0x89, 0x26, 0xAE, 0x12, 0xA3);  // {3A9AB895-8F2F-4693-BC0C-878926AE12A3}
QX_DEFINE_GUID(IID_IUpdateItem2, 0x95194946, 0x07B0, 0x40B9, 0x9B, 0x6C, 0xDE, 0x94, 0x62, 0xDC, 0xFD, 0xEC);  // {95194946-07B0-40B9-9B6C-DE9462DCFDEC}
QX_DEFINE_GUID(CLSID_UpdateVerifier, 0x22941E25, 0x85F9, 0x4361, 0x8F, 0xDE, 0xEC, 0xE8, 0x2B, 0x6F, 0xCD, 0xED);  // {22941E25-85F9-4361-8FDE-ECE82B6FCDED}
QX_DEFINE_GUID(IID_IUpdateVerifier, 0xC8A86C34, 0xC93C, 0x4283, 0x8D, 0xDA, 0x3A, 0x1E, 0xFD, 0xCD, 0x88, 0x9A);  // {C8A86C34-C93C-4283-8DDA-3A1EFDCD889A}
// clang-format on

struct IUpdateItem;
struct IUpdateItems;
struct IUpdateChannel;
struct IUpdateChannels;
struct IUpdateDocument;
struct IUpdateCatalog;

// QXNet: internet transfer.
struct _QXNet : IDispatch {
  virtual HRESULT STDMETHODCALLTYPE RetrieveFile(BSTR url, LONG parentWnd, BSTR* fileName) = 0;
  virtual HRESULT STDMETHODCALLTYPE UploadFile(BSTR fileName, BSTR url, LONG parentWnd,
                                               BSTR* returnFile) = 0;
  virtual HRESULT STDMETHODCALLTYPE ValidateUrl(BSTR url) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetCacheInfo(BSTR url, LONG parentWnd,
                                                 VARIANT_BOOL* bCacheFileExists,
                                                 VARIANT_BOOL* bCacheFileCurrent,
                                                 BSTR* cacheFileName) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_IsConnected(VARIANT_BOOL* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE CanConnect(BSTR url, VARIANT_BOOL* retVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE UploadFileForm(BSTR fileName, BSTR url, LONG parentWnd,
                                                   BSTR formFieldName,
                                                   VARIANT_BOOL displayBrowser) = 0;
};

struct _QXNetConnect : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE AttemptConnect(BSTR host, LONG port, LONG timeoutMilliseconds,
                                                   VARIANT_BOOL* retVal) = 0;
};

// Outgoing events of QXNet (a pure dispatch interface): dispid 1 OnProgress
// (titleText, progress, bCancel by reference), dispid 2 End.
struct __QXNetEvents : IDispatch {};

// QXDetectNet: managed runtime detection.
struct _QXDetectNet : IDispatch {
  virtual HRESULT STDMETHODCALLTYPE get_IsDotNetPresent(VARIANT_BOOL* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_InstallRootPath(BSTR* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_CLRVersions(VARIANT* pVal) = 0;
};

struct IUpdateItem : IDispatch {
  virtual HRESULT STDMETHODCALLTYPE get_title(BSTR* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_title(BSTR newVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_link(BSTR* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_link(BSTR newVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_description(BSTR* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_description(BSTR newVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_guid(BSTR* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_guid(BSTR newVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_category(BSTR* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_category(BSTR newVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_pubDate(DATE* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_pubDate(DATE newVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE MarshallObject(BSTR* retVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE UnMarshallObject(BSTR retVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_status(BSTR* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_status(BSTR newVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_required(VARIANT_BOOL* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_required(VARIANT_BOOL newVal) = 0;
};

struct IUpdateItems : IDispatch {
  virtual HRESULT STDMETHODCALLTYPE Item(LONG index, IUpdateItem** pItem) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Count(LONG* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown** pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE Add(IUpdateItem* newItem) = 0;
  virtual HRESULT STDMETHODCALLTYPE InCollection(BSTR guid, VARIANT_BOOL* retVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE MarshallObject(BSTR* retVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE UnMarshallObject(BSTR retVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE Remove(IUpdateItem* Item) = 0;
  virtual HRESULT STDMETHODCALLTYPE SortByPubDate() = 0;
};

struct IUpdateChannel : IDispatch {
  virtual HRESULT STDMETHODCALLTYPE get_items(IUpdateItems** pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_title(BSTR* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_title(BSTR newVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_link(BSTR* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_link(BSTR newVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_description(BSTR* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_description(BSTR newVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_lastCheckDate(DATE* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_lastCheckDate(DATE newVal) = 0;
};

struct IUpdateChannels : IDispatch {
  virtual HRESULT STDMETHODCALLTYPE Item(LONG index, IUpdateChannel** pItem) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Count(LONG* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown** pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE Add(IUpdateChannel* newItem) = 0;
};

struct IStringCollection : IDispatch {
  virtual HRESULT STDMETHODCALLTYPE Item(LONG index, BSTR* pItem) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Count(LONG* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown** pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE Add(BSTR newItem) = 0;
  virtual HRESULT STDMETHODCALLTYPE InCollection(BSTR str, VARIANT_BOOL* retVal) = 0;
};

struct IUpdateDocument : IDispatch {
  virtual HRESULT STDMETHODCALLTYPE get_channels(IUpdateChannels** pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE Parse(BSTR fileName) = 0;
  virtual HRESULT STDMETHODCALLTYPE Save(BSTR fileName) = 0;
};

struct IUpdateCatalog : IDispatch {
  virtual HRESULT STDMETHODCALLTYPE get_fileName(BSTR* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_fileName(BSTR newVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_feedUrl(BSTR* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_feedUrl(BSTR newVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_fileFormatVersion(LONG* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_NotInstalledItems(IUpdateItems** pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE Save() = 0;
  virtual HRESULT STDMETHODCALLTYPE get_nextCheckDate(DATE* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_checkInterval(LONG* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_checkInterval(LONG newVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_lastCheckDate(DATE* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE UpdateLastCheckDate() = 0;
  virtual HRESULT STDMETHODCALLTYPE get_setTitle(BSTR* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_setTitle(BSTR newVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE ReconcileWithUpdateDocument(IUpdateDocument* doc) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_timeToCheck(VARIANT_BOOL* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_tplPassword(BSTR* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_tplPassword(BSTR newVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_shouldUpdate(VARIANT_BOOL* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_shouldUpdate(VARIANT_BOOL newVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_publishDate(DATE* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_publishDate(DATE newVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_InstalledItems(IUpdateItems** pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_DiscardedItems(IUpdateItems** pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE Load() = 0;
};

struct IUpdateWorkUnit : IDispatch {
  virtual HRESULT STDMETHODCALLTYPE get_catalog(IUpdateCatalog** pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_catalog(IUpdateCatalog* newVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_UpdateDocument(IUpdateDocument** pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_UpdateDocument(IUpdateDocument* newVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_toInstallItems(IUpdateItems** pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_toDiscardItems(IUpdateItems** pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_allItems(IUpdateItems** pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE MoveToInstalled(IUpdateItem* pItem) = 0;
  virtual HRESULT STDMETHODCALLTYPE MoveToDiscarded(IUpdateItem* pItem) = 0;
  virtual HRESULT STDMETHODCALLTYPE MoveToPending(IUpdateItem* pItem) = 0;
};

// The update item with the payload the feed describes: the enclosure's
// address, length and type, its SHA-256 (hex) and its Ed25519 signature
// (Base64). An enclosureLength of -1 stands for none, or for a feed text that
// is not a length.
struct IUpdateItem2 : IUpdateItem {
  virtual HRESULT STDMETHODCALLTYPE get_enclosureUrl(BSTR* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_enclosureUrl(BSTR newVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_enclosureLength(LONGLONG* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_enclosureLength(LONGLONG newVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_enclosureType(BSTR* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_enclosureType(BSTR newVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_sha256(BSTR* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_sha256(BSTR newVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_edSignature(BSTR* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_edSignature(BSTR newVal) = 0;
};

// Checks a downloaded payload against what the feed says of it: length,
// SHA-256 and, with a public key, the Ed25519 signature.
struct IUpdateVerifier : IDispatch {
  virtual HRESULT STDMETHODCALLTYPE get_publicKey(BSTR* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_publicKey(BSTR newVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE Verify(IUpdateItem* item, BSTR fileName) = 0;
};

// Interface identifier of each interface type, for typed queries.
template <class T>
struct qx_iid_of;
#define QX_IID_OF(T, iid)                     \
  template <>                                 \
  struct qx_iid_of<T> {                       \
    static constexpr const GUID& value = iid; \
  }
QX_IID_OF(IUnknown, IID_IUnknown);
QX_IID_OF(IDispatch, IID_IDispatch);
QX_IID_OF(ITypeInfo, IID_ITypeInfo);
QX_IID_OF(IClassFactory, IID_IClassFactory);
QX_IID_OF(IErrorInfo, IID_IErrorInfo);
QX_IID_OF(ICreateErrorInfo, IID_ICreateErrorInfo);
QX_IID_OF(ISupportErrorInfo, IID_ISupportErrorInfo);
QX_IID_OF(IEnumVARIANT, IID_IEnumVARIANT);
QX_IID_OF(IConnectionPointContainer, IID_IConnectionPointContainer);
QX_IID_OF(IConnectionPoint, IID_IConnectionPoint);
QX_IID_OF(IEnumConnectionPoints, IID_IEnumConnectionPoints);
QX_IID_OF(IEnumConnections, IID_IEnumConnections);
QX_IID_OF(_QXNet, IID__QXNet);
QX_IID_OF(_QXNetConnect, IID__QXNetConnect);
QX_IID_OF(_QXDetectNet, IID__QXDetectNet);
QX_IID_OF(IUpdateItem, IID_IUpdateItem);
QX_IID_OF(IUpdateItems, IID_IUpdateItems);
QX_IID_OF(IUpdateChannel, IID_IUpdateChannel);
QX_IID_OF(IUpdateChannels, IID_IUpdateChannels);
QX_IID_OF(IStringCollection, IID_IStringCollection);
QX_IID_OF(IUpdateDocument, IID_IUpdateDocument);
QX_IID_OF(IUpdateCatalog, IID_IUpdateCatalog);
QX_IID_OF(IUpdateWorkUnit, IID_IUpdateWorkUnit);
QX_IID_OF(IUpdateItem2, IID_IUpdateItem2);
QX_IID_OF(IUpdateVerifier, IID_IUpdateVerifier);
#undef QX_IID_OF

#include "catalog/update_work_unit.h"

#include "qxnet/bstr.h"
#include "server/module/object_map.h"
#include "server/object_frame/create_object.h"

namespace qx {

namespace {

constexpr std::u16string_view kInvalidParameter = u"Invalid parameter";
constexpr std::u16string_view kCatalogNotInitialized = u"Catalog is not initialized";

// The catalog's lists in the order in which an item's owner is looked for
// and the snapshot is filled.
constexpr HRESULT (STDMETHODCALLTYPE IUpdateCatalog::*kCatalogLists[])(IUpdateItems**) = {
    &IUpdateCatalog::get_NotInstalledItems,
    &IUpdateCatalog::get_DiscardedItems,
    &IUpdateCatalog::get_InstalledItems,
};

HRESULT NewItemsCollection(ComPtr<IUpdateItems>& out) {
  HRESULT hr = CreateByClassId(CLSID_UpdateItems, CLSCTX_ALL, out);
  if (SUCCEEDED(hr) && !out) hr = E_FAIL;
  return hr;
}

}  // namespace

CUpdateWorkUnit::~CUpdateWorkUnit() = default;

HRESULT CUpdateWorkUnit::get_catalog(IUpdateCatalog** pVal) {
  if (!pVal) return Error(kInvalidParameter, E_INVALIDARG);
  *pVal = nullptr;
  if (!catalog_) return Error(u"Catalog not initialized", E_INVALIDARG);
  return catalog_->QueryInterface(IID_IUpdateCatalog, reinterpret_cast<void**>(pVal));
}

HRESULT CUpdateWorkUnit::put_catalog(IUpdateCatalog* newVal) {
  catalog_ = nullptr;
  if (!newVal) return S_OK;
  return newVal->QueryInterface(IID_IUpdateCatalog, catalog_.PutVoid());
}

HRESULT CUpdateWorkUnit::get_UpdateDocument(IUpdateDocument** pVal) {
  if (!pVal) return Error(kInvalidParameter, E_INVALIDARG);
  *pVal = nullptr;
  if (!document_) return Error(u"Document not initialized", E_INVALIDARG);
  return document_->QueryInterface(IID_IUpdateDocument, reinterpret_cast<void**>(pVal));
}

HRESULT CUpdateWorkUnit::put_UpdateDocument(IUpdateDocument* newVal) {
  document_ = nullptr;
  if (!newVal) return S_OK;
  return newVal->QueryInterface(IID_IUpdateDocument, document_.PutVoid());
}

HRESULT CUpdateWorkUnit::GetGathering(ComPtr<IUpdateItems>& collection, IUpdateItems** out) {
  if (!out) return Error(kInvalidParameter, E_INVALIDARG);
  *out = nullptr;
  if (!collection) {
    HRESULT hr = NewItemsCollection(collection);
    if (FAILED(hr)) return Error(u"Unable to create UpdateItems object", hr);
  }
  collection.CopyTo(out);
  return S_OK;
}

HRESULT CUpdateWorkUnit::get_toInstallItems(IUpdateItems** pVal) {
  return GetGathering(toInstall_, pVal);
}

HRESULT CUpdateWorkUnit::get_toDiscardItems(IUpdateItems** pVal) {
  return GetGathering(toDiscard_, pVal);
}

HRESULT CUpdateWorkUnit::BuildSnapshot() {
  ComPtr<IUpdateItems> snapshot;
  HRESULT hr = NewItemsCollection(snapshot);
  if (FAILED(hr)) return Error(u"Unable to create UpdateItems object", hr);
  for (auto getter : kCatalogLists) {
    ComPtr<IUpdateItems> list;
    hr = (catalog_.Get()->*getter)(list.Put());
    if (FAILED(hr)) return hr;  // the catalog has reported it
    LONG count = 0;
    hr = list->get_Count(&count);
    if (FAILED(hr)) return hr;
    for (LONG i = 0; i < count; ++i) {
      ComPtr<IUpdateItem> item;
      hr = list->Item(i, item.Put());
      if (FAILED(hr)) return hr;
      snapshot->Add(item.Get());
    }
  }
  snapshot->SortByPubDate();
  allItems_ = std::move(snapshot);
  return S_OK;
}

HRESULT CUpdateWorkUnit::get_allItems(IUpdateItems** pVal) {
  if (!pVal) return Error(kInvalidParameter, E_INVALIDARG);
  *pVal = nullptr;
  if (!allItems_) {
    if (!catalog_) return Error(kCatalogNotInitialized, E_INVALIDARG);
    HRESULT hr = NoThrow([&] { return BuildSnapshot(); });
    if (FAILED(hr)) return hr;
  }
  allItems_.CopyTo(pVal);
  return S_OK;
}

ComPtr<IUpdateItems> CUpdateWorkUnit::FindOwningList(BSTR guid) {
  for (auto getter : kCatalogLists) {
    ComPtr<IUpdateItems> list;
    if (FAILED((catalog_.Get()->*getter)(list.Put())) || !list) continue;
    VARIANT_BOOL found = VARIANT_FALSE;
    if (SUCCEEDED(list->InCollection(guid, &found)) && found == VARIANT_TRUE) return list;
  }
  return nullptr;
}

HRESULT CUpdateWorkUnit::Move(IUpdateItem* item, ListGetter target, std::u16string_view failure) {
  if (!item) return Error(u"Invalid argument", E_INVALIDARG);
  if (!catalog_) return Error(kCatalogNotInitialized, E_FAIL);
  BStr guid;
  if (FAILED(item->get_guid(guid.Put()))) guid = BStr();
  ComPtr<IUpdateItems> owner = FindOwningList(guid.Get());
  if (!owner) return Error(u"Unable to find item in collection", E_FAIL);
  // Keep the item alive while it is between lists, whoever else holds it.
  ComPtr<IUpdateItem> moving(item);
  owner->Remove(moving.Get());
  ComPtr<IUpdateItems> destination;
  if (FAILED((catalog_.Get()->*target)(destination.Put())) || !destination) {
    return Error(failure, E_FAIL);
  }
  return destination->Add(moving.Get());
}

HRESULT CUpdateWorkUnit::MoveToInstalled(IUpdateItem* pItem) {
  return Move(pItem, &IUpdateCatalog::get_InstalledItems, u"Failed to add to installed items");
}

HRESULT CUpdateWorkUnit::MoveToDiscarded(IUpdateItem* pItem) {
  return Move(pItem, &IUpdateCatalog::get_DiscardedItems, u"Failed to add to discarded items");
}

HRESULT CUpdateWorkUnit::MoveToPending(IUpdateItem* pItem) {
  return Move(pItem, &IUpdateCatalog::get_NotInstalledItems,
              u"Failed to add to not installed items");
}

}  // namespace qx

QX_OBJECT_ENTRY(CLSID_UpdateWorkUnit, qx::CUpdateWorkUnit)

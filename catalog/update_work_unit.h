// UpdateWorkUnit: the working set of one updating pass. It ties a catalog to
// the update document just read, presents every item the catalog knows
// sorted by date (a snapshot taken once), holds two collections in which
// the caller gathers its choices, and moves items between the catalog's
// not-installed, discarded and installed lists.
#pragma once

#include "qxnet/com_ptr.h"
#include "qxnet/qxnetlib.h"
#include "server/object_frame/dispatch_object.h"

namespace qx {

class CUpdateWorkUnit final : public DispatchObject<CUpdateWorkUnit, IUpdateWorkUnit> {
 public:
  static constexpr const CLSID& kClsid = CLSID_UpdateWorkUnit;

  CUpdateWorkUnit() = default;
  ~CUpdateWorkUnit() override;

  // IUpdateWorkUnit
  HRESULT STDMETHODCALLTYPE get_catalog(IUpdateCatalog** pVal) override;
  HRESULT STDMETHODCALLTYPE put_catalog(IUpdateCatalog* newVal) override;
  HRESULT STDMETHODCALLTYPE get_UpdateDocument(IUpdateDocument** pVal) override;
  HRESULT STDMETHODCALLTYPE put_UpdateDocument(IUpdateDocument* newVal) override;
  HRESULT STDMETHODCALLTYPE get_toInstallItems(IUpdateItems** pVal) override;
  HRESULT STDMETHODCALLTYPE get_toDiscardItems(IUpdateItems** pVal) override;
  HRESULT STDMETHODCALLTYPE get_allItems(IUpdateItems** pVal) override;
  HRESULT STDMETHODCALLTYPE MoveToInstalled(IUpdateItem* pItem) override;
  HRESULT STDMETHODCALLTYPE MoveToDiscarded(IUpdateItem* pItem) override;
  HRESULT STDMETHODCALLTYPE MoveToPending(IUpdateItem* pItem) override;

 private:
  using ListGetter = HRESULT (STDMETHODCALLTYPE IUpdateCatalog::*)(IUpdateItems**);

  HRESULT GetGathering(ComPtr<IUpdateItems>& collection, IUpdateItems** out);
  HRESULT BuildSnapshot();
  // The catalog list whose members include `guid`, or none.
  ComPtr<IUpdateItems> FindOwningList(BSTR guid);
  HRESULT Move(IUpdateItem* item, ListGetter target, std::u16string_view failure);

  ComPtr<IUpdateCatalog> catalog_;
  ComPtr<IUpdateDocument> document_;
  ComPtr<IUpdateItems> toInstall_;
  ComPtr<IUpdateItems> toDiscard_;
  ComPtr<IUpdateItems> allItems_;
};

}  // namespace qx

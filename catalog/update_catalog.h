// UpdateCatalog: the local update state (the feed followed, the check
// schedule, descriptive values and the not-installed, discarded and
// installed item lists), saved to and loaded from the catalog file, and
// reconciled with a freshly parsed update document.
#pragma once

#include "catalog/catalog_values.h"
#include "qxnet/com_ptr.h"
#include "qxnet/qxnetlib.h"
#include "server/object_frame/dispatch_object.h"
#include "server/object_frame/no_connection_points.h"

namespace qx {

class CUpdateCatalog final
    : public DispatchObject<CUpdateCatalog, IUpdateCatalog, SingleThreaded, NoConnectionPoints> {
 public:
  static constexpr const CLSID& kClsid = CLSID_UpdateCatalog;

  CUpdateCatalog();
  ~CUpdateCatalog() override;

  // IUpdateCatalog
  HRESULT STDMETHODCALLTYPE get_fileName(BSTR* pVal) override;
  HRESULT STDMETHODCALLTYPE put_fileName(BSTR newVal) override;
  HRESULT STDMETHODCALLTYPE get_feedUrl(BSTR* pVal) override;
  HRESULT STDMETHODCALLTYPE put_feedUrl(BSTR newVal) override;
  HRESULT STDMETHODCALLTYPE get_fileFormatVersion(LONG* pVal) override;
  HRESULT STDMETHODCALLTYPE get_NotInstalledItems(IUpdateItems** pVal) override;
  HRESULT STDMETHODCALLTYPE Save() override;
  HRESULT STDMETHODCALLTYPE get_nextCheckDate(DATE* pVal) override;
  HRESULT STDMETHODCALLTYPE get_checkInterval(LONG* pVal) override;
  HRESULT STDMETHODCALLTYPE put_checkInterval(LONG newVal) override;
  HRESULT STDMETHODCALLTYPE get_lastCheckDate(DATE* pVal) override;
  HRESULT STDMETHODCALLTYPE UpdateLastCheckDate() override;
  HRESULT STDMETHODCALLTYPE get_setTitle(BSTR* pVal) override;
  HRESULT STDMETHODCALLTYPE put_setTitle(BSTR newVal) override;
  HRESULT STDMETHODCALLTYPE ReconcileWithUpdateDocument(IUpdateDocument* doc) override;
  HRESULT STDMETHODCALLTYPE get_timeToCheck(VARIANT_BOOL* pVal) override;
  HRESULT STDMETHODCALLTYPE get_tplPassword(BSTR* pVal) override;
  HRESULT STDMETHODCALLTYPE put_tplPassword(BSTR newVal) override;
  HRESULT STDMETHODCALLTYPE get_shouldUpdate(VARIANT_BOOL* pVal) override;
  HRESULT STDMETHODCALLTYPE put_shouldUpdate(VARIANT_BOOL newVal) override;
  HRESULT STDMETHODCALLTYPE get_publishDate(DATE* pVal) override;
  HRESULT STDMETHODCALLTYPE put_publishDate(DATE newVal) override;
  HRESULT STDMETHODCALLTYPE get_InstalledItems(IUpdateItems** pVal) override;
  HRESULT STDMETHODCALLTYPE get_DiscardedItems(IUpdateItems** pVal) override;
  HRESULT STDMETHODCALLTYPE Load() override;

 private:
  HRESULT GetText(const BStr& field, BSTR* out) const;
  static HRESULT PutText(BStr& field, BSTR value);
  HRESULT GetDate(DATE value, DATE* out) const;
  HRESULT GetList(ComPtr<IUpdateItems>& list, IUpdateItems** out);
  void RecomputeNextCheckDate();

  BStr fileName_;
  catalog::CatalogValues values_;
  ComPtr<IUpdateItems> notInstalled_;
  ComPtr<IUpdateItems> discarded_;
  ComPtr<IUpdateItems> installed_;
};

}  // namespace qx

#include "catalog/update_catalog.h"

#include <filesystem>
#include <system_error>

#include "catalog/catalog_file_reader.h"
#include "catalog/catalog_file_writer.h"
#include "catalog/check_schedule.h"
#include "catalog/reconciliation.h"
#include "feed/feed_date.h"
#include "qxnet/text.h"
#include "server/module/object_map.h"
#include "server/object_frame/create_object.h"

namespace qx {

namespace {

constexpr std::u16string_view kInvalidParameter = u"Invalid parameter";

bool FileExists(std::u16string_view fileName) {
  std::error_code error;
  return std::filesystem::exists(std::filesystem::path(Utf16ToUtf8(fileName)), error);
}

}  // namespace

CUpdateCatalog::CUpdateCatalog() { values_.lastCheckDate = feed::CurrentLocalDate(); }

CUpdateCatalog::~CUpdateCatalog() = default;

// ------------------------------------------------------------------ helpers

HRESULT CUpdateCatalog::GetText(const BStr& field, BSTR* out) const {
  if (!out) return Error(kInvalidParameter, E_POINTER);
  *out = field.Copy();
  if (!field.IsNull() && !*out) return E_OUTOFMEMORY;
  return S_OK;
}

HRESULT CUpdateCatalog::PutText(BStr& field, BSTR value) {
  if (!value) {
    field = BStr();
    return S_OK;
  }
  // The text up to its first zero character.
  BStr copy(static_cast<const char16_t*>(value));
  if (copy.IsNull()) return E_OUTOFMEMORY;
  field = std::move(copy);
  return S_OK;
}

HRESULT CUpdateCatalog::GetDate(DATE value, DATE* out) const {
  if (!out) return Error(kInvalidParameter, E_POINTER);
  *out = value;
  return S_OK;
}

HRESULT CUpdateCatalog::GetList(ComPtr<IUpdateItems>& list, IUpdateItems** out) {
  if (!out) return Error(kInvalidParameter, E_POINTER);
  *out = nullptr;
  if (!list) {
    ComPtr<IUpdateItems> created;
    HRESULT hr = CreateByClassId(CLSID_UpdateItems, CLSCTX_SERVER, created);
    if (FAILED(hr) || !created) {
      return Error(u"Unable to create UpdateItems object", FAILED(hr) ? hr : E_FAIL);
    }
    list = std::move(created);
  }
  return list->QueryInterface(IID_IUpdateItems, reinterpret_cast<void**>(out));
}

void CUpdateCatalog::RecomputeNextCheckDate() {
  values_.nextCheckDate = catalog::NextCheckDate(values_.lastCheckDate, values_.checkInterval,
                                                 feed::CurrentLocalDate());
}

// ------------------------------------------------------------------ properties

HRESULT CUpdateCatalog::get_fileName(BSTR* pVal) { return GetText(fileName_, pVal); }
HRESULT CUpdateCatalog::put_fileName(BSTR newVal) { return PutText(fileName_, newVal); }
HRESULT CUpdateCatalog::get_feedUrl(BSTR* pVal) { return GetText(values_.feedUrl, pVal); }
HRESULT CUpdateCatalog::put_feedUrl(BSTR newVal) { return PutText(values_.feedUrl, newVal); }
HRESULT CUpdateCatalog::get_setTitle(BSTR* pVal) { return GetText(values_.title, pVal); }
HRESULT CUpdateCatalog::put_setTitle(BSTR newVal) { return PutText(values_.title, newVal); }
HRESULT CUpdateCatalog::get_tplPassword(BSTR* pVal) { return GetText(values_.password, pVal); }
HRESULT CUpdateCatalog::put_tplPassword(BSTR newVal) { return PutText(values_.password, newVal); }

HRESULT CUpdateCatalog::get_fileFormatVersion(LONG* pVal) {
  if (!pVal) return Error(kInvalidParameter, E_POINTER);
  *pVal = values_.fileFormatVersion;
  return S_OK;
}

HRESULT CUpdateCatalog::get_checkInterval(LONG* pVal) {
  if (!pVal) return Error(kInvalidParameter, E_POINTER);
  *pVal = values_.checkInterval;
  return S_OK;
}

HRESULT CUpdateCatalog::put_checkInterval(LONG newVal) {
  values_.checkInterval = newVal;
  RecomputeNextCheckDate();
  return S_OK;
}

HRESULT CUpdateCatalog::get_nextCheckDate(DATE* pVal) {
  return GetDate(values_.nextCheckDate, pVal);
}
HRESULT CUpdateCatalog::get_lastCheckDate(DATE* pVal) {
  return GetDate(values_.lastCheckDate, pVal);
}
HRESULT CUpdateCatalog::get_publishDate(DATE* pVal) { return GetDate(values_.publishDate, pVal); }

HRESULT CUpdateCatalog::put_publishDate(DATE newVal) {
  values_.publishDate = newVal;
  return S_OK;
}

HRESULT CUpdateCatalog::UpdateLastCheckDate() {
  values_.lastCheckDate = feed::CurrentLocalDate();
  RecomputeNextCheckDate();
  return S_OK;
}

HRESULT CUpdateCatalog::get_timeToCheck(VARIANT_BOOL* pVal) {
  if (!pVal) return Error(kInvalidParameter, E_POINTER);
  *pVal = feed::CurrentLocalDate() >= values_.nextCheckDate ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

HRESULT CUpdateCatalog::get_shouldUpdate(VARIANT_BOOL* pVal) {
  if (!pVal) return Error(kInvalidParameter, E_POINTER);
  *pVal = values_.enabled;
  return S_OK;
}

HRESULT CUpdateCatalog::put_shouldUpdate(VARIANT_BOOL newVal) {
  values_.enabled = newVal;
  return S_OK;
}

HRESULT CUpdateCatalog::get_NotInstalledItems(IUpdateItems** pVal) {
  return GetList(notInstalled_, pVal);
}
HRESULT CUpdateCatalog::get_DiscardedItems(IUpdateItems** pVal) {
  return GetList(discarded_, pVal);
}
HRESULT CUpdateCatalog::get_InstalledItems(IUpdateItems** pVal) {
  return GetList(installed_, pVal);
}

// ------------------------------------------------------------------ file and feed

HRESULT CUpdateCatalog::Save() {
  return NoThrow([&] {
    return catalog::SaveCatalogFile(
        fileName_.View(), values_, *this,
        [this](std::u16string_view message, HRESULT hr) { return Error(message, hr); });
  });
}

HRESULT CUpdateCatalog::Load() {
  return NoThrow([&] {
    if (fileName_.Length() == 0 || !FileExists(fileName_.View())) {
      return Error(u"Invalid filename", E_INVALIDARG);
    }
    return catalog::LoadCatalogFile(
        fileName_.View(), values_, *this,
        [this](std::u16string_view message, HRESULT hr) { return Error(message, hr); });
  });
}

HRESULT CUpdateCatalog::ReconcileWithUpdateDocument(IUpdateDocument* doc) {
  if (!doc) return Error(kInvalidParameter, E_POINTER);
  return NoThrow([&] {
    ComPtr<IUpdateItems> notInstalled, installed, discarded;
    HRESULT hr = get_NotInstalledItems(notInstalled.Put());
    if (FAILED(hr)) return hr;
    hr = get_InstalledItems(installed.Put());
    if (FAILED(hr)) return hr;
    hr = get_DiscardedItems(discarded.Put());
    if (FAILED(hr)) return hr;
    const catalog::CatalogLists lists{notInstalled.Get(), installed.Get(), discarded.Get()};
    return catalog::ReconcileDocument(
        *doc, lists, values_.publishDate,
        [this](std::u16string_view message, HRESULT hr) { return Error(message, hr); });
  });
}

}  // namespace qx

QX_OBJECT_ENTRY(CLSID_UpdateCatalog, qx::CUpdateCatalog)

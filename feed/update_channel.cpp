#include "feed/update_channel.h"

#include <string_view>
#include <utility>

#include "server/module/object_map.h"
#include "server/object_frame/create_object.h"

namespace qx {

namespace {

constexpr std::u16string_view kInvalidParameter = u"Invalid parameter";
constexpr std::u16string_view kItemsNotCreated = u"Failed to create QXNet.UpdateItems";

}  // namespace

HRESULT CUpdateChannel::GetText(const BStr& field, BSTR* out) const {
  if (!out) return Error(kInvalidParameter, E_POINTER);
  *out = field.Copy();
  if (!field.IsNull() && !*out) return E_OUTOFMEMORY;
  return S_OK;
}

HRESULT CUpdateChannel::PutText(BStr& field, BSTR value) {
  // A copy with the argument's full length; a null argument stores empty text.
  BStr copy(BstrView(value));
  if (copy.IsNull()) return E_OUTOFMEMORY;
  field = std::move(copy);
  return S_OK;
}

HRESULT CUpdateChannel::get_items(IUpdateItems** pVal) {
  if (!pVal) return Error(kInvalidParameter, E_POINTER);
  *pVal = nullptr;
  if (!items_) {
    ComPtr<IUpdateItems> created;
    HRESULT hr = CreateByProgId(u"QXNet.UpdateItems", created);
    if (FAILED(hr)) return Error(kItemsNotCreated, hr);
    items_ = std::move(created);
  }
  // Every caller shares the one collection: what it adds belongs to the channel.
  return items_->QueryInterface(IID_IUpdateItems, reinterpret_cast<void**>(pVal));
}

HRESULT CUpdateChannel::get_title(BSTR* pVal) { return GetText(title_, pVal); }
HRESULT CUpdateChannel::put_title(BSTR newVal) { return PutText(title_, newVal); }
HRESULT CUpdateChannel::get_link(BSTR* pVal) { return GetText(link_, pVal); }
HRESULT CUpdateChannel::put_link(BSTR newVal) { return PutText(link_, newVal); }
HRESULT CUpdateChannel::get_description(BSTR* pVal) { return GetText(description_, pVal); }
HRESULT CUpdateChannel::put_description(BSTR newVal) { return PutText(description_, newVal); }

HRESULT CUpdateChannel::get_lastCheckDate(DATE*) { return S_OK; }
HRESULT CUpdateChannel::put_lastCheckDate(DATE) { return S_OK; }

}  // namespace qx

QX_OBJECT_ENTRY(CLSID_UpdateChannel, qx::CUpdateChannel)

#include "server/collections/update_channels.h"

#include <algorithm>
#include <climits>

#include "server/module/object_map.h"

namespace qx {

namespace {
constexpr std::u16string_view kInvalidParameter = u"Invalid parameter";
constexpr std::u16string_view kInvalidIndex = u"Invalid index";
}  // namespace

HRESULT CUpdateChannels::Item(LONG index, IUpdateChannel** pItem) {
  if (index < 0 || static_cast<size_t>(index) >= channels_.size()) {
    return Error(kInvalidIndex, E_INVALIDARG);
  }
  if (!pItem) return Error(kInvalidParameter, E_POINTER);
  *pItem = nullptr;
  const ComPtr<IDispatch>& channel = channels_[static_cast<size_t>(index)];
  if (!channel) return Error(kInvalidIndex, E_INVALIDARG);
  return channel->QueryInterface(IID_IUpdateChannel, reinterpret_cast<void**>(pItem));
}

HRESULT CUpdateChannels::get_Count(LONG* pVal) {
  if (!pVal) return Error(kInvalidParameter, E_POINTER);
  *pVal = static_cast<LONG>(std::min<size_t>(channels_.size(), LONG_MAX));
  return S_OK;
}

HRESULT CUpdateChannels::get__NewEnum(IUnknown** pVal) {
  if (!pVal) return E_POINTER;
  return CreateVariantEnumerator(static_cast<IUpdateChannels*>(this),
                                 static_cast<const EnumerationSource*>(this), pVal);
}

HRESULT CUpdateChannels::Add(IUpdateChannel* newItem) {
  if (!newItem) return Error(kInvalidParameter, E_POINTER);
  return NoThrow([&]() -> HRESULT {
    ComPtr<IDispatch> channel;
    HRESULT hr = newItem->QueryInterface(IID_IDispatch, channel.PutVoid());
    if (FAILED(hr)) return hr;
    channels_.push_back(std::move(channel));
    return S_OK;
  });
}

size_t CUpdateChannels::EnumerationCount() const { return channels_.size(); }

HRESULT CUpdateChannels::EnumerationElement(size_t index, VARIANT* out) const {
  IDispatch* element = channels_[index].Get();
  if (element) element->AddRef();
  out->vt = VT_DISPATCH;
  out->pdispVal = element;
  return S_OK;
}

}  // namespace qx

QX_OBJECT_ENTRY(CLSID_UpdateChannels, qx::CUpdateChannels)

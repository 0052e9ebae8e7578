#include "feed/item_content.h"

#include "qxnet/com_ptr.h"

namespace qx::feed {

HRESULT StoreValues(IUpdateItem& item, ItemValues& values) {
  if (ComPtr<IItemContent> content = QueryAs<IItemContent>(&item)) {
    return content->TakeValues(values);
  }
  HRESULT hr = S_OK;
  if (FAILED(hr = item.put_title(values.title.Get())) ||
      FAILED(hr = item.put_link(values.link.Get())) ||
      FAILED(hr = item.put_guid(values.guid.Get())) ||
      FAILED(hr = item.put_description(values.description.Get())) ||
      FAILED(hr = item.put_category(values.category.Get())) ||
      FAILED(hr = item.put_required(values.required)) ||
      (!values.status.IsNull() && FAILED(hr = item.put_status(values.status.Get()))) ||
      (values.pubDate != 0.0 && FAILED(hr = item.put_pubDate(values.pubDate)))) {
    return hr;
  }
  values = ItemValues();
  return S_OK;
}

}  // namespace qx::feed

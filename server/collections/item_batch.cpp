#include "server/collections/item_batch.h"

namespace qx {

HRESULT AddItems(IUpdateItems& list, const std::vector<ComPtr<IUpdateItem>>& items) {
  if (ComPtr<IItemBatch> batch = QueryAs<IItemBatch>(&list)) return batch->AddBatch(items);
  for (const ComPtr<IUpdateItem>& item : items) {
    const HRESULT hr = list.Add(item.Get());
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

}  // namespace qx

// UpdateItems: the ordered list of UpdateItem objects that is the working set
// of the update model (a channel's items, the catalog's lists, the work
// unit's lists). Items are identified by guid, compared ignoring case.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "qxnet/com_ptr.h"
#include "qxnet/qxnetlib.h"
#include "server/collections/guid_index.h"
#include "server/collections/item_batch.h"
#include "server/collections/item_guid_tracking.h"
#include "server/collections/variant_enumerator.h"
#include "server/object_frame/dispatch_object.h"
#include "server/object_frame/no_connection_points.h"

namespace qx {

class CUpdateItems final : public DispatchObject<CUpdateItems, IUpdateItems, SingleThreaded,
                                                 NoConnectionPoints, IItemBatch>,
                           private GuidObserver,
                           private EnumerationSource {
 public:
  static constexpr const CLSID& kClsid = CLSID_UpdateItems;

  CUpdateItems() = default;
  ~CUpdateItems() override;

  // IUpdateItems
  HRESULT STDMETHODCALLTYPE Item(LONG index, IUpdateItem** pItem) override;
  HRESULT STDMETHODCALLTYPE get_Count(LONG* pVal) override;
  HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown** pVal) override;
  HRESULT STDMETHODCALLTYPE Add(IUpdateItem* newItem) override;
  HRESULT STDMETHODCALLTYPE InCollection(BSTR guid, VARIANT_BOOL* retVal) override;
  HRESULT STDMETHODCALLTYPE MarshallObject(BSTR* retVal) override;
  HRESULT STDMETHODCALLTYPE UnMarshallObject(BSTR retVal) override;
  HRESULT STDMETHODCALLTYPE Remove(IUpdateItem* Item) override;
  HRESULT STDMETHODCALLTYPE SortByPubDate() override;

  // IItemBatch (private to the module's readers)
  HRESULT AddBatch(const std::vector<ComPtr<IUpdateItem>>& items) override;

 private:
  // One element: the stored dispatch reference, and for the module's own
  // items the tracking interface through which the guid index follows
  // changes of the item's guid.
  struct Member {
    ComPtr<IDispatch> dispatch;
    ComPtr<IItemGuidTracking> tracking;
  };

  // Whether a member's guid equals `guid` ignoring case, by the index for
  // tracked members and by reading the guid of the others.
  bool Contains(std::u16string_view guid);
  // Whether a member of another implementation has that guid (ignoring case).
  bool UntrackedHolds(std::u16string_view guid) const;
  // The guid of a member as stored (empty when absent or unreadable).
  static std::u16string MemberGuid(const Member& member);

  void RebuildIndexIfNeeded();

  // GuidObserver
  void GuidChanged(std::u16string_view before, std::u16string_view after) noexcept override;

  // EnumerationSource
  size_t EnumerationCount() const override;
  HRESULT EnumerationElement(size_t index, VARIANT* out) const override;

  std::vector<Member> members_;
  // The guids of the tracked members.
  GuidIndex guidIndex_;
  // Members of other implementations, checked by reading their guid.
  size_t untrackedMembers_ = 0;
  // False after the index could not follow a change (allocation failure);
  // the next lookup rebuilds it from the members.
  bool indexValid_ = true;
};

}  // namespace qx

#include "server/collections/update_items.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <numeric>
#include <string>

#include "qxnet/bstr.h"
#include "qxnet/text.h"
#include "server/collections/case_fold.h"
#include "server/module/object_map.h"
#include "server/object_frame/create_object.h"

namespace qx {

namespace {

constexpr std::u16string_view kInvalidParameter = u"Invalid parameter";
constexpr std::u16string_view kInvalidIndex = u"Invalid index";
constexpr std::u16string_view kItemOpen = u"<item>";
constexpr std::u16string_view kItemClose = u"</item>";

// Ascending order of publication dates for a stable sort. A date that is not
// a number (or could not be read) goes after every other date, so that the
// order stays a strict weak ordering whatever the dates hold.
bool DatedBefore(double a, double b) {
  bool aMissing = std::isnan(a);
  bool bMissing = std::isnan(b);
  if (aMissing || bMissing) return !aMissing && bMissing;
  return a < b;
}

}  // namespace

CUpdateItems::~CUpdateItems() {
  for (Member& member : members_)
    if (member.tracking) member.tracking->RemoveGuidObserver(this);
  members_.clear();
}

// ---------------------------------------------------------------- guid index

std::u16string CUpdateItems::MemberGuid(const Member& member) {
  if (member.tracking) return std::u16string(member.tracking->GuidText());
  ComPtr<IUpdateItem> item = QueryAs<IUpdateItem>(member.dispatch.Get());
  if (!item) return {};
  BStr guid;
  if (FAILED(item->get_guid(guid.Put()))) return {};
  return guid.Text();
}

void CUpdateItems::RebuildIndexIfNeeded() {
  if (indexValid_) return;
  guidIndex_.clear();
  for (const Member& member : members_)
    if (member.tracking) guidIndex_.add(member.tracking->GuidText());
  indexValid_ = true;
}

void CUpdateItems::GuidChanged(std::u16string_view before, std::u16string_view after) noexcept {
  if (!indexValid_) return;
  try {
    guidIndex_.remove(before);
    guidIndex_.add(after);
  } catch (...) {
    indexValid_ = false;
  }
}

bool CUpdateItems::Contains(std::u16string_view guid) {
  RebuildIndexIfNeeded();
  return guidIndex_.contains(guid) || UntrackedHolds(guid);
}

bool CUpdateItems::UntrackedHolds(std::u16string_view guid) const {
  if (untrackedMembers_ == 0) return false;
  for (const Member& member : members_) {
    if (member.tracking || !member.dispatch) continue;
    if (EqualIgnoringCase(MemberGuid(member), guid)) return true;
  }
  return false;
}

// ---------------------------------------------------------------- IUpdateItems

HRESULT CUpdateItems::Item(LONG index, IUpdateItem** pItem) {
  if (index < 0 || static_cast<size_t>(index) >= members_.size()) {
    return Error(kInvalidIndex, E_INVALIDARG);
  }
  if (!pItem) return Error(kInvalidParameter, E_POINTER);
  *pItem = nullptr;
  const Member& member = members_[static_cast<size_t>(index)];
  if (!member.dispatch) return Error(kInvalidIndex, E_INVALIDARG);
  return member.dispatch->QueryInterface(IID_IUpdateItem, reinterpret_cast<void**>(pItem));
}

HRESULT CUpdateItems::get_Count(LONG* pVal) {
  if (!pVal) return Error(kInvalidParameter, E_POINTER);
  *pVal = static_cast<LONG>(std::min<size_t>(members_.size(), LONG_MAX));
  return S_OK;
}

HRESULT CUpdateItems::get__NewEnum(IUnknown** pVal) {
  if (!pVal) return E_POINTER;
  return CreateVariantEnumerator(static_cast<IUpdateItems*>(this),
                                 static_cast<const EnumerationSource*>(this), pVal);
}

HRESULT CUpdateItems::Add(IUpdateItem* newItem) {
  if (!newItem) return Error(kInvalidParameter, E_POINTER);
  return NoThrow([&]() -> HRESULT {
    Member member;
    newItem->QueryInterface(IID_IItemGuidTracking, member.tracking.PutVoid());
    // The guid to check: an unreadable guid counts as absent, i.e. empty.
    BStr read;
    std::u16string_view guid;
    if (member.tracking) {
      guid = member.tracking->GuidText();
    } else {
      if (FAILED(newItem->get_guid(read.Put()))) read = BStr();
      guid = read.View();
    }
    // A duplicate is dropped silently.
    RebuildIndexIfNeeded();
    if (UntrackedHolds(guid)) return S_OK;
    if (!member.tracking) {
      if (guidIndex_.contains(guid)) return S_OK;
      HRESULT hr = newItem->QueryInterface(IID_IDispatch, member.dispatch.PutVoid());
      if (FAILED(hr)) return hr;
      members_.push_back(std::move(member));
      ++untrackedMembers_;
      return S_OK;
    }
    // One lookup both checks the index and makes the new entry, which
    // stays only if the item is added.
    if (!guidIndex_.addIfAbsent(guid)) return S_OK;
    HRESULT hr = newItem->QueryInterface(IID_IDispatch, member.dispatch.PutVoid());
    if (SUCCEEDED(hr)) {
      try {
        members_.push_back(std::move(member));
      } catch (...) {
        guidIndex_.remove(guid);
        throw;
      }
      hr = members_.back().tracking->AddGuidObserver(this);
      if (FAILED(hr)) members_.pop_back();
    }
    if (FAILED(hr)) {
      guidIndex_.remove(guid);
      return hr;
    }
    return S_OK;
  });
}

HRESULT CUpdateItems::AddBatch(const std::vector<ComPtr<IUpdateItem>>& items) {
  return NoThrow([&]() -> HRESULT {
    // Room for the whole batch first: no regrowth of the list or rehashing
    // of the index while it is added.
    members_.reserve(members_.size() + items.size());
    guidIndex_.reserve(guidIndex_.size() + items.size());
    for (const ComPtr<IUpdateItem>& item : items) {
      const HRESULT hr = Add(item.Get());
      if (FAILED(hr)) return hr;
    }
    return S_OK;
  });
}

HRESULT CUpdateItems::InCollection(BSTR guid, VARIANT_BOOL* retVal) {
  if (!retVal) return Error(kInvalidParameter, E_POINTER);
  *retVal = VARIANT_FALSE;
  return NoThrow([&] {
    if (Contains(BstrView(guid))) *retVal = VARIANT_TRUE;
    return S_OK;
  });
}

HRESULT CUpdateItems::MarshallObject(BSTR* retVal) {
  if (!retVal) return Error(kInvalidParameter, E_POINTER);
  *retVal = nullptr;
  return NoThrow([&]() -> HRESULT {
    std::u16string text;
    for (const Member& member : members_) {
      ComPtr<IUpdateItem> item = QueryAs<IUpdateItem>(member.dispatch.Get());
      if (!item) continue;
      BStr fragment;
      HRESULT hr = item->MarshallObject(fragment.Put());
      if (FAILED(hr)) return hr;
      text += fragment.View();
      text += u'\n';
    }
    BStr result(text);
    if (result.IsNull()) return E_OUTOFMEMORY;
    *retVal = result.Detach();
    return S_OK;
  });
}

HRESULT CUpdateItems::UnMarshallObject(BSTR retVal) {
  return NoThrow([&]() -> HRESULT {
    std::u16string_view text = BstrView(retVal);
    size_t position = 0;
    for (;;) {
      size_t open = text.find(kItemOpen, position);
      if (open == std::u16string_view::npos) break;
      // The first closing tag after the opening one ends the block, so an
      // "<item>" inside a block's own text never starts another item.
      size_t close = text.find(kItemClose, open);
      if (close == std::u16string_view::npos || close <= open) break;
      size_t end = close + kItemClose.size();

      ComPtr<IUpdateItem> item;
      if (SUCCEEDED(CreateByClassId(CLSID_UpdateItem, CLSCTX_SERVER, item))) {
        BStr block(text.substr(open, end - open));
        if (block.IsNull()) return E_OUTOFMEMORY;
        item->UnMarshallObject(block.Get());
        Add(item.Get());
      }
      position = end;
    }
    return S_OK;
  });
}

HRESULT CUpdateItems::Remove(IUpdateItem* item) {
  if (!item) return Error(kInvalidParameter, E_POINTER);
  return NoThrow([&]() -> HRESULT {
    BStr read;
    if (FAILED(item->get_guid(read.Put()))) read = BStr();
    std::u16string_view guid = read.View();

    // Nothing can match when no tracked member carries the guid and every
    // member is tracked: spare the scan.
    RebuildIndexIfNeeded();
    if (untrackedMembers_ == 0 && !guidIndex_.contains(guid)) return S_OK;

    for (size_t i = 0; i < members_.size(); ++i) {
      const Member& candidate = members_[i];
      if (!candidate.dispatch) continue;
      if (!EqualIgnoringCase(MemberGuid(candidate), guid)) continue;

      Member removed = std::move(members_[i]);
      members_.erase(members_.begin() + static_cast<std::ptrdiff_t>(i));
      if (removed.tracking) {
        removed.tracking->RemoveGuidObserver(this);
        try {
          guidIndex_.remove(removed.tracking->GuidText());
        } catch (...) {
          indexValid_ = false;
        }
      } else {
        --untrackedMembers_;
      }
      return S_OK;  // `removed` releases the element
    }
    return S_OK;
  });
}

HRESULT CUpdateItems::SortByPubDate() {
  if (members_.size() < 2) return S_OK;
  return NoThrow([&]() -> HRESULT {
    std::vector<double> dates(members_.size(), std::nan(""));
    for (size_t i = 0; i < members_.size(); ++i) {
      ComPtr<IUpdateItem> item = QueryAs<IUpdateItem>(members_[i].dispatch.Get());
      DATE date;
      if (item && SUCCEEDED(item->get_pubDate(&date))) dates[i] = date;
    }
    std::vector<size_t> order(members_.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return DatedBefore(dates[a], dates[b]); });
    std::vector<Member> sorted;
    sorted.reserve(members_.size());
    for (size_t i : order) sorted.push_back(std::move(members_[i]));
    members_.swap(sorted);
    return S_OK;
  });
}

// ---------------------------------------------------------------- enumeration

size_t CUpdateItems::EnumerationCount() const { return members_.size(); }

HRESULT CUpdateItems::EnumerationElement(size_t index, VARIANT* out) const {
  IDispatch* element = members_[index].dispatch.Get();
  if (element) element->AddRef();
  out->vt = VT_DISPATCH;
  out->pdispVal = element;
  return S_OK;
}

}  // namespace qx

QX_OBJECT_ENTRY(CLSID_UpdateItems, qx::CUpdateItems)

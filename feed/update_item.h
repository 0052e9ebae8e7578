// UpdateItem: one entry of the update feed (title, link, description, guid,
// category, publication date), the feed's required flag and a local status,
// with its item fragment text form; through IUpdateItem2 also the payload the
// feed describes (enclosure address, length, type, SHA-256, signature).
#pragma once

#include <string_view>
#include <vector>

#include "feed/enclosure.h"
#include "feed/item_content.h"
#include "qxnet/bstr.h"
#include "qxnet/qxnetlib.h"
#include "server/collections/item_guid_tracking.h"
#include "server/object_frame/dispatch_object.h"
#include "server/object_frame/no_connection_points.h"

namespace qx {

class CUpdateItem final
    : public DispatchObject<CUpdateItem, IUpdateItem2, SingleThreaded, NoConnectionPoints,
                            IItemGuidTracking, IItemContent> {
 public:
  static constexpr const CLSID& kClsid = CLSID_UpdateItem;

  CUpdateItem();
  ~CUpdateItem() override;

  // Error records name IUpdateItem, the interface callers have always used.
  static const IID& ErrorInterface() { return IID_IUpdateItem; }
  // The first item interface is the base of the second: the same pointer.
  void* QueryExtraInterface(REFIID riid);
  HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override;

  // IUpdateItem
  HRESULT STDMETHODCALLTYPE get_title(BSTR* pVal) override;
  HRESULT STDMETHODCALLTYPE put_title(BSTR newVal) override;
  HRESULT STDMETHODCALLTYPE get_link(BSTR* pVal) override;
  HRESULT STDMETHODCALLTYPE put_link(BSTR newVal) override;
  HRESULT STDMETHODCALLTYPE get_description(BSTR* pVal) override;
  HRESULT STDMETHODCALLTYPE put_description(BSTR newVal) override;
  HRESULT STDMETHODCALLTYPE get_guid(BSTR* pVal) override;
  HRESULT STDMETHODCALLTYPE put_guid(BSTR newVal) override;
  HRESULT STDMETHODCALLTYPE get_category(BSTR* pVal) override;
  HRESULT STDMETHODCALLTYPE put_category(BSTR newVal) override;
  HRESULT STDMETHODCALLTYPE get_pubDate(DATE* pVal) override;
  HRESULT STDMETHODCALLTYPE put_pubDate(DATE newVal) override;
  HRESULT STDMETHODCALLTYPE MarshallObject(BSTR* retVal) override;
  HRESULT STDMETHODCALLTYPE UnMarshallObject(BSTR retVal) override;
  HRESULT STDMETHODCALLTYPE get_status(BSTR* pVal) override;
  HRESULT STDMETHODCALLTYPE put_status(BSTR newVal) override;
  HRESULT STDMETHODCALLTYPE get_required(VARIANT_BOOL* pVal) override;
  HRESULT STDMETHODCALLTYPE put_required(VARIANT_BOOL newVal) override;

  // IUpdateItem2
  HRESULT STDMETHODCALLTYPE get_enclosureUrl(BSTR* pVal) override;
  HRESULT STDMETHODCALLTYPE put_enclosureUrl(BSTR newVal) override;
  HRESULT STDMETHODCALLTYPE get_enclosureLength(LONGLONG* pVal) override;
  HRESULT STDMETHODCALLTYPE put_enclosureLength(LONGLONG newVal) override;
  HRESULT STDMETHODCALLTYPE get_enclosureType(BSTR* pVal) override;
  HRESULT STDMETHODCALLTYPE put_enclosureType(BSTR newVal) override;
  HRESULT STDMETHODCALLTYPE get_sha256(BSTR* pVal) override;
  HRESULT STDMETHODCALLTYPE put_sha256(BSTR newVal) override;
  HRESULT STDMETHODCALLTYPE get_edSignature(BSTR* pVal) override;
  HRESULT STDMETHODCALLTYPE put_edSignature(BSTR newVal) override;

  // IItemGuidTracking (private to the module's collections)
  std::u16string_view GuidText() override;
  HRESULT AddGuidObserver(GuidObserver* observer) override;
  void RemoveGuidObserver(GuidObserver* observer) override;

  // IItemContent (private to the module's readers)
  HRESULT TakeValues(feed::ItemValues& values) override;

 private:
  HRESULT GetText(const BStr& field, BSTR* out) const;
  // The payload data as the fragment carries it.
  feed::Enclosure Enclosure() const;
  static HRESULT PutText(BStr& field, BSTR value);
  // Stores a new guid and tells the observers; `guid` is not null.
  void ReplaceGuid(BStr guid);

  BStr title_;
  BStr link_;
  BStr description_;
  BStr guid_;
  BStr category_;
  DATE pubDate_;
  VARIANT_BOOL required_ = VARIANT_FALSE;
  BStr status_;
  BStr enclosureUrl_;
  LONGLONG enclosureLength_;
  BStr enclosureType_;
  BStr sha256_;
  BStr edSignature_;
  // Most items are held by one collection at a time: its registration
  // needs no allocation of its own.
  GuidObserver* firstObserver_ = nullptr;
  std::vector<GuidObserver*> moreObservers_;
};

}  // namespace qx

#include "catalog/reconciliation.h"

#include "qxnet/bstr.h"
#include "qxnet/com_ptr.h"

namespace qx::catalog {

namespace {

bool Knows(IUpdateItems* list, BSTR guid) {
  VARIANT_BOOL known = VARIANT_FALSE;
  // An unanswered question counts as a no.
  if (FAILED(list->InCollection(guid, &known))) return false;
  return known == VARIANT_TRUE;
}

}  // namespace

bool IsWantedByPublishDate(DATE itemPubDate, DATE catalogPublishDate) {
  return !(itemPubDate > 0.0 && catalogPublishDate > 0.0 && itemPubDate < catalogPublishDate);
}

HRESULT ReconcileDocument(IUpdateDocument& doc, const CatalogLists& lists, DATE catalogPublishDate,
                          const FailureReport& report) {
  // Any failure to walk the document ends the walk; what was added stays.
  const auto walkFailed = [&] { return report(u"COM Error", E_FAIL); };

  ComPtr<IUpdateChannels> channels;
  if (FAILED(doc.get_channels(channels.Put())) || !channels) return walkFailed();
  LONG channelCount = 0;
  if (FAILED(channels->get_Count(&channelCount))) return walkFailed();

  const BStr pending(u"Pending");
  if (pending.IsNull()) return E_OUTOFMEMORY;
  HRESULT result = S_OK;
  for (LONG c = 0; c < channelCount; ++c) {
    ComPtr<IUpdateChannel> channel;
    if (FAILED(channels->Item(c, channel.Put())) || !channel) return walkFailed();
    ComPtr<IUpdateItems> items;
    if (FAILED(channel->get_items(items.Put())) || !items) return walkFailed();
    LONG itemCount = 0;
    result = items->get_Count(&itemCount);
    if (FAILED(result)) continue;  // such a channel contributes nothing

    for (LONG i = 0; i < itemCount; ++i) {
      ComPtr<IUpdateItem> item;
      if (FAILED(items->Item(i, item.Put())) || !item) return walkFailed();
      BStr guid;
      if (FAILED(item->get_guid(guid.Put()))) return walkFailed();
      if (Knows(lists.discarded, guid.Get()) || Knows(lists.installed, guid.Get()) ||
          Knows(lists.notInstalled, guid.Get())) {
        continue;
      }
      DATE pubDate = 0.0;
      if (FAILED(item->get_pubDate(&pubDate))) pubDate = 0.0;
      if (!IsWantedByPublishDate(pubDate, catalogPublishDate)) continue;
      item->put_status(pending.Get());
      lists.notInstalled->Add(item.Get());
    }
  }
  // A failing item count of the last channel is the operation's result.
  return result;
}

}  // namespace qx::catalog

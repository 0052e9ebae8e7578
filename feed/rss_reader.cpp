#include "feed/rss_reader.h"

#include <utility>
#include <vector>

#include "feed/enclosure.h"
#include "feed/item_content.h"
#include "feed/xml_dom/first_child_elements.h"
#include "qxnet/bstr.h"
#include "qxnet/com_ptr.h"
#include "qxnet/text.h"
#include "server/collections/item_batch.h"
#include "server/object_frame/create_object.h"

namespace qx::feed {

namespace {

// The value of an element found (empty text when none).
std::u16string Value(const xml::Node& element) {
  return element ? CutValue(element.text()) : std::u16string();
}

// The same value as a string of its own, made straight from the tree's
// text; null only when memory runs out.
BStr OwnedValue(const xml::Node& element, std::string& gathered) {
  return ItemValue(element ? element.textUtf8(gathered) : std::string_view());
}

// Calls a string setter with a value; allocation failures come back as codes.
template <class Object>
HRESULT PutText(Object* object, HRESULT (STDMETHODCALLTYPE Object::*put)(BSTR),
                std::u16string_view value) {
  BStr text(value);
  if (text.IsNull()) return E_OUTOFMEMORY;
  return (object->*put)(text.Get());
}

}  // namespace

FeedStatus RssReader::FindChannels(const xml::Document& document) {
  const xml::Node root = document.documentElement();
  if (!root) return FeedStatus::Report(u"Invalid rss file. Unable to find rss element.", E_FAIL);
  const xml::Node rss = root.selectSingleNode(u"//rss");
  if (!rss) return FeedStatus::Report(u"Invalid rss file. Unable to find rss element.", E_FAIL);
  channelNodes_ = rss.selectNodes(u"./channel");
  return FeedStatus::Ok();
}

FeedStatus RssReader::ReadChannels(IUpdateChannels* channels) {
  if (!channels) return FeedStatus::Report(u"Invalid Channel pointer", E_FAIL);
  for (size_t i = 0; i < channelNodes_.length(); ++i) {
    FeedStatus status = ReadChannel(channelNodes_.item(i), channels);
    if (status.Failed()) return status;
  }
  return FeedStatus::Ok();
}

FeedStatus RssReader::ReadChannel(xml::Node node, IUpdateChannels* channels) {
  if (!node) return FeedStatus::Report(u"Invalid channel Element", E_FAIL);

  enum { kTitle, kLink, kDescription };
  xml::FirstChildElements<3> values({"title", "link", "description"});
  std::vector<xml::Node> itemNodes;
  for (xml::Node child = node.firstChild(); child; child = child.nextSibling()) {
    if (xml::IsElementName(child.elementNameUtf8(), "item")) {
      itemNodes.push_back(child);
    } else {
      values.offer(child);
    }
  }

  ComPtr<IUpdateChannel> channel;
  HRESULT hr = CreateByClassId(CLSID_UpdateChannel, CLSCTX_SERVER, channel);
  if (FAILED(hr)) return FeedStatus::Report(u"Failed to create UpdateChannel object", hr);
  if (!channel) return FeedStatus::Report(u"Invalid Channel pointer", E_FAIL);

  if (FAILED(hr = PutText(channel.Get(), &IUpdateChannel::put_title, Value(values[kTitle]))) ||
      FAILED(hr = PutText(channel.Get(), &IUpdateChannel::put_link, Value(values[kLink]))) ||
      FAILED(hr = PutText(channel.Get(), &IUpdateChannel::put_description,
                          Value(values[kDescription])))) {
    return FeedStatus::PassOn(hr);
  }

  ComPtr<IUpdateItems> items;
  hr = channel->get_items(items.Put());
  if (FAILED(hr)) return FeedStatus::PassOn(hr);
  if (!items) return FeedStatus::Report(u"Invalid UpdateItems pointer", E_FAIL);

  std::vector<ComPtr<IUpdateItem>> made;
  made.reserve(itemNodes.size());
  for (const xml::Node& itemNode : itemNodes) {
    FeedStatus status = ReadItem(itemNode, made);
    if (status.Failed()) return status;  // the channel is not added
    // The channel's elements up to this item are no longer needed: their
    // memory goes to the items still to be made instead of adding to the
    // peak.
    node.removeChildrenThrough(itemNode);
  }
  // A guid already in the channel (ignoring case) is dropped by the collection.
  hr = AddItems(*items.Get(), made);
  if (FAILED(hr)) return FeedStatus::PassOn(hr);
  made.clear();
  hr = channels->Add(channel.Get());
  return FAILED(hr) ? FeedStatus::PassOn(hr) : FeedStatus::Ok();
}

FeedStatus RssReader::ReadItem(xml::Node node, std::vector<ComPtr<IUpdateItem>>& made) {
  if (!node) return FeedStatus::Report(u"Invalid item Element", E_FAIL);

  const std::optional<std::u16string> requiredText = node.getAttribute(u"required");
  const bool required = requiredText && EqualsIgnoringAsciiCase(*requiredText, u"true");

  enum { kTitle, kLink, kGuid, kDescription, kCategory, kPubDate, kEnclosure };
  xml::FirstChildElements<7> found(
      {"title", "link", "guid", "description", "category", "pubDate", "enclosure"});
  found.collect(node);

  // Items are made by the class's factory, found once per feed.
  HRESULT hr = S_OK;
  if (!itemFactory_ && FAILED(hr = GetClassFactory(CLSID_UpdateItem, CLSCTX_SERVER, itemFactory_)))
    return FeedStatus::Report(u"Failed to create UpdateItem object", hr);
  ComPtr<IUpdateItem> item;
  hr = CreateFromFactory(*itemFactory_.Get(), item);
  if (FAILED(hr)) return FeedStatus::Report(u"Failed to create UpdateItem object", hr);
  if (!item) return FeedStatus::Report(u"Invalid Item pointer", E_FAIL);

  ItemValues values;
  values.title = OwnedValue(found[kTitle], gathered_);
  values.link = OwnedValue(found[kLink], gathered_);
  values.guid = OwnedValue(found[kGuid], gathered_);
  values.description = OwnedValue(found[kDescription], gathered_);
  values.category = OwnedValue(found[kCategory], gathered_);
  for (const BStr* text :
       {&values.title, &values.link, &values.guid, &values.description, &values.category}) {
    if (text->IsNull()) return FeedStatus::PassOn(E_OUTOFMEMORY);
  }
  values.required = required ? VARIANT_TRUE : VARIANT_FALSE;
  // An unreadable or missing date leaves the item's creation time.
  values.pubDate = found[kPubDate] ? ItemDate(found[kPubDate].textUtf8(gathered_)) : 0.0;
  if (FAILED(hr = StoreValues(*item.Get(), values))) return FeedStatus::PassOn(hr);
  if (const std::optional<Enclosure> enclosure = ReadEnclosureElement(found[kEnclosure])) {
    if (FAILED(hr = PutEnclosure(item.Get(), *enclosure))) return FeedStatus::PassOn(hr);
  }
  made.push_back(std::move(item));
  return FeedStatus::Ok();
}

}  // namespace qx::feed

#include "feed/rss_reader.h"

#include <array>
#include <utility>
#include <vector>

#include "feed/enclosure.h"
#include "feed/feed_date.h"
#include "qxnet/bstr.h"
#include "qxnet/com_ptr.h"
#include "qxnet/text.h"
#include "server/object_frame/create_object.h"

namespace qx::feed {

namespace {

// The first child element of each wanted name, found in one pass over the
// children (a feed item has a handful; a channel may have thousands).
template <size_t N>
struct FirstChildren {
  std::array<std::u16string_view, N> names;
  std::array<xml::Node, N> found{};

  // Looks at one child element; answers whether it has one of the wanted
  // names.
  bool Offer(xml::Node child) {
    for (size_t i = 0; i < N; ++i) {
      if (child.hasName(names[i])) {
        if (!found[i]) found[i] = child;
        return true;
      }
    }
    return false;
  }
  std::u16string Value(size_t index) const {
    return found[index] ? CutValue(found[index].text()) : std::u16string();
  }
};

// Calls a string setter with a value; allocation failures come back as codes.
template <class Object>
HRESULT PutText(Object* object, HRESULT (STDMETHODCALLTYPE Object::*put)(BSTR),
                std::u16string_view value) {
  BStr text(value);
  if (text.IsNull()) return E_OUTOFMEMORY;
  return (object->*put)(text.Get());
}

}  // namespace

std::u16string CutValue(std::u16string text) {
  if (text.size() <= kMaxValueLength) return text;
  size_t keep = kMaxValueLength;
  const char16_t last = text[keep - 1];
  const char16_t next = text[keep];
  if (last >= 0xD800 && last <= 0xDBFF && next >= 0xDC00 && next <= 0xDFFF) --keep;
  text.resize(keep);
  return text;
}

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
  FirstChildren<3> values{{u"title", u"link", u"description"}};
  std::vector<xml::Node> itemNodes;
  for (xml::Node child = node.firstChild(); child; child = child.nextSibling()) {
    if (child.nodeType() != xml::NodeType::kElement) continue;
    if (child.hasName(u"item")) {
      itemNodes.push_back(child);
    } else {
      values.Offer(child);
    }
  }

  ComPtr<IUpdateChannel> channel;
  HRESULT hr = CreateByClassId(CLSID_UpdateChannel, CLSCTX_SERVER, channel);
  if (FAILED(hr)) return FeedStatus::Report(u"Failed to create UpdateChannel object", hr);
  if (!channel) return FeedStatus::Report(u"Invalid Channel pointer", E_FAIL);

  if (FAILED(hr = PutText(channel.Get(), &IUpdateChannel::put_title, values.Value(kTitle))) ||
      FAILED(hr = PutText(channel.Get(), &IUpdateChannel::put_link, values.Value(kLink))) ||
      FAILED(hr = PutText(channel.Get(), &IUpdateChannel::put_description,
                          values.Value(kDescription)))) {
    return FeedStatus::PassOn(hr);
  }

  ComPtr<IUpdateItems> items;
  hr = channel->get_items(items.Put());
  if (FAILED(hr)) return FeedStatus::PassOn(hr);
  if (!items) return FeedStatus::Report(u"Invalid UpdateItems pointer", E_FAIL);

  for (const xml::Node& itemNode : itemNodes) {
    FeedStatus status = ReadItem(itemNode, items.Get());
    if (status.Failed()) return status;  // the channel is not added
  }
  hr = channels->Add(channel.Get());
  return FAILED(hr) ? FeedStatus::PassOn(hr) : FeedStatus::Ok();
}

FeedStatus RssReader::ReadItem(xml::Node node, IUpdateItems* items) {
  if (!node) return FeedStatus::Report(u"Invalid item Element", E_FAIL);

  const std::optional<std::u16string> requiredText = node.getAttribute(u"required");
  const bool required = requiredText && EqualsIgnoringAsciiCase(*requiredText, u"true");

  enum { kTitle, kLink, kGuid, kDescription, kCategory, kPubDate };
  FirstChildren<6> values{{u"title", u"link", u"guid", u"description", u"category", u"pubDate"}};
  for (xml::Node child = node.firstChild(); child; child = child.nextSibling()) {
    if (child.nodeType() == xml::NodeType::kElement) values.Offer(child);
  }

  // Items are made by the class's factory, found once per feed.
  HRESULT hr = S_OK;
  if (!itemFactory_ && FAILED(hr = GetClassFactory(CLSID_UpdateItem, CLSCTX_SERVER, itemFactory_)))
    return FeedStatus::Report(u"Failed to create UpdateItem object", hr);
  ComPtr<IUpdateItem> item;
  hr = CreateFromFactory(*itemFactory_.Get(), item);
  if (FAILED(hr)) return FeedStatus::Report(u"Failed to create UpdateItem object", hr);
  if (!item) return FeedStatus::Report(u"Invalid Item pointer", E_FAIL);

  IUpdateItem* target = item.Get();
  if (FAILED(hr = PutText(target, &IUpdateItem::put_title, values.Value(kTitle))) ||
      FAILED(hr = PutText(target, &IUpdateItem::put_link, values.Value(kLink))) ||
      FAILED(hr = PutText(target, &IUpdateItem::put_guid, values.Value(kGuid))) ||
      FAILED(hr = PutText(target, &IUpdateItem::put_description, values.Value(kDescription))) ||
      FAILED(hr = PutText(target, &IUpdateItem::put_category, values.Value(kCategory))) ||
      FAILED(hr = target->put_required(required ? VARIANT_TRUE : VARIANT_FALSE))) {
    return FeedStatus::PassOn(hr);
  }
  // An unreadable or missing date leaves the item's creation time.
  const DATE published = ParseFeedDate(values.Value(kPubDate));
  if (published != 0.0 && FAILED(hr = target->put_pubDate(published))) {
    return FeedStatus::PassOn(hr);
  }
  if (const std::optional<Enclosure> enclosure = ReadEnclosure(node)) {
    if (FAILED(hr = PutEnclosure(target, *enclosure))) return FeedStatus::PassOn(hr);
  }
  // A guid already in the channel (ignoring case) is dropped by the collection.
  hr = items->Add(target);
  return FAILED(hr) ? FeedStatus::PassOn(hr) : FeedStatus::Ok();
}

}  // namespace qx::feed

// Reads an RSS update feed, loaded into a DOM document, into UpdateChannel
// and UpdateItem objects.
//
// The feed is the first `rss` element at any depth; its `channel` children
// are the channels, their `item` children the items. Of a channel the first
// `title`, `link` and `description` children are read, of an item the first
// `title`, `link`, `guid`, `description`, `category` and `pubDate` children
// and the `required` attribute ("true" in any letter case), and the payload
// data of its first `enclosure` child (feed/enclosure.h). Everything else
// in the file is ignored. A value is the element's whole text content, cut
// to kMaxValueLength characters. DOM failures are thrown as xml::DomError.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "feed/feed_status.h"
#include "feed/xml_dom/xml_document.h"
#include "qxnet/com_ptr.h"
#include "qxnet/qxnetlib.h"

namespace qx::feed {

// The longest value taken from an element's text, in UTF-16 code units.
inline constexpr size_t kMaxValueLength = 4098;

// `text` cut to kMaxValueLength code units; a surrogate pair that the cut
// would split is left out whole, so no half character remains.
std::u16string CutValue(std::u16string text);

class RssReader {
 public:
  // Finds the `rss` element and its `channel` children. Fails with the
  // document's messages when there is no `rss` element.
  FeedStatus FindChannels(const xml::Document& document);

  // Reads each channel found into a new UpdateChannel with its items and
  // appends it to `channels`. The first channel that fails stops the
  // reading and is not added; channels read before it stay.
  FeedStatus ReadChannels(IUpdateChannels* channels);

 private:
  FeedStatus ReadChannel(xml::Node node, IUpdateChannels* channels);
  FeedStatus ReadItem(xml::Node node, IUpdateItems* items);

  xml::NodeList channelNodes_;
  ComPtr<IClassFactory> itemFactory_;
};

}  // namespace qx::feed

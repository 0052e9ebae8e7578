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

#include <string>
#include <vector>

#include "feed/feed_status.h"
#include "feed/item_value.h"
#include "feed/xml_dom/xml_document.h"
#include "qxnet/com_ptr.h"
#include "qxnet/qxnetlib.h"

namespace qx::feed {

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
  // Makes the item of an `item` element and appends it to `made`.
  FeedStatus ReadItem(xml::Node node, std::vector<ComPtr<IUpdateItem>>& made);

  xml::NodeList channelNodes_;
  ComPtr<IClassFactory> itemFactory_;
  // Room for the text of an element that has more than one piece of it.
  std::string gathered_;
};

}  // namespace qx::feed

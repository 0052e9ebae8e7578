// Writes channels and their items as an RSS update feed into a new DOM
// document: the declaration, `rss` version 2.0, one `channel` per channel
// with `title`, `link`, `description` and its `item` elements, each item with
// `title`, `link`, `description`, `guid`, `category` and `pubDate` children
// and `required="true"` when its required value is exactly -1, then its
// `enclosure` when it has payload data (feed/enclosure.h). No whitespace
// is added between elements. DOM failures are thrown as xml::DomError.
#pragma once

#include "feed/feed_status.h"
#include "feed/xml_dom/xml_document.h"
#include "qxnet/qxnetlib.h"

namespace qx::feed {

class RssWriter {
 public:
  // `document` must be empty; it is written to by the calls below.
  explicit RssWriter(xml::Document& document) : document_(document) {}

  // Appends the declaration and the `rss` element.
  void WriteRoot();

  // Appends one `channel` element per channel, in the collection's order.
  FeedStatus WriteChannels(IUpdateChannels* channels);

 private:
  FeedStatus WriteChannel(IUpdateChannel* channel);
  FeedStatus WriteItem(IUpdateItem* item, xml::Node channelNode);
  // Appends <name>value</name> to `parent`.
  void AppendTextElement(xml::Node parent, std::u16string_view name, std::u16string_view value);

  xml::Document& document_;
  xml::Node rss_;
};

}  // namespace qx::feed

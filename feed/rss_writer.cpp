#include "feed/rss_writer.h"

#include "feed/enclosure.h"
#include "feed/feed_date.h"
#include "qxnet/bstr.h"
#include "qxnet/com_ptr.h"

namespace qx::feed {

namespace {

// Reads a string property; an absent value reads as empty text.
template <class Object>
HRESULT GetText(Object* object, HRESULT (STDMETHODCALLTYPE Object::*get)(BSTR*), BStr& out) {
  return (object->*get)(out.Put());
}

}  // namespace

void RssWriter::WriteRoot() {
  document_.appendChild(document_.createProcessingInstruction(u"xml", u"version='1.0'"));
  rss_ = document_.createElement(u"rss");
  rss_.setAttribute(u"version", u"2.0");
  document_.appendChild(rss_);
}

void RssWriter::AppendTextElement(xml::Node parent, std::u16string_view name,
                                  std::u16string_view value) {
  xml::Node element = document_.createElement(name);
  element.setText(value);
  parent.appendChild(element);
}

FeedStatus RssWriter::WriteChannels(IUpdateChannels* channels) {
  if (!channels) return FeedStatus::Report(u"Invalid Channel pointer", E_FAIL);
  LONG count = 0;
  HRESULT hr = channels->get_Count(&count);
  if (FAILED(hr)) return FeedStatus::PassOn(hr);
  for (LONG i = 0; i < count; ++i) {
    ComPtr<IUpdateChannel> channel;
    hr = channels->Item(i, channel.Put());
    if (FAILED(hr)) return FeedStatus::PassOn(hr);
    if (!channel) return FeedStatus::Report(u"Invalid Channel pointer", E_FAIL);
    FeedStatus status = WriteChannel(channel.Get());
    if (status.Failed()) return status;
  }
  return FeedStatus::Ok();
}

FeedStatus RssWriter::WriteChannel(IUpdateChannel* channel) {
  xml::Node channelNode = document_.createElement(u"channel");
  struct Field {
    const char16_t* name;
    HRESULT (STDMETHODCALLTYPE IUpdateChannel::*get)(BSTR*);
  };
  static constexpr Field kFields[] = {
      {u"title", &IUpdateChannel::get_title},
      {u"link", &IUpdateChannel::get_link},
      {u"description", &IUpdateChannel::get_description},
  };
  for (const Field& field : kFields) {
    BStr value;
    HRESULT hr = GetText(channel, field.get, value);
    if (FAILED(hr)) return FeedStatus::PassOn(hr);
    AppendTextElement(channelNode, field.name, value.View());
  }

  ComPtr<IUpdateItems> items;
  HRESULT hr = channel->get_items(items.Put());
  if (FAILED(hr)) return FeedStatus::PassOn(hr);
  if (!items) return FeedStatus::Report(u"Invalid UpdateItems pointer", E_FAIL);
  LONG count = 0;
  if (FAILED(hr = items->get_Count(&count))) return FeedStatus::PassOn(hr);
  for (LONG i = 0; i < count; ++i) {
    ComPtr<IUpdateItem> item;
    if (FAILED(hr = items->Item(i, item.Put()))) return FeedStatus::PassOn(hr);
    if (!item) return FeedStatus::Report(u"Invalid Item pointer", E_FAIL);
    FeedStatus status = WriteItem(item.Get(), channelNode);
    if (status.Failed()) return status;
  }
  rss_.appendChild(channelNode);
  return FeedStatus::Ok();
}

FeedStatus RssWriter::WriteItem(IUpdateItem* item, xml::Node channelNode) {
  VARIANT_BOOL required = VARIANT_FALSE;
  HRESULT hr = item->get_required(&required);
  if (FAILED(hr)) return FeedStatus::PassOn(hr);
  xml::Node itemNode = document_.createElement(u"item");
  // Only exactly -1 is true; other non-zero values are written as not required.
  if (required == VARIANT_TRUE) itemNode.setAttribute(u"required", u"true");
  channelNode.appendChild(itemNode);

  struct Field {
    const char16_t* name;
    HRESULT (STDMETHODCALLTYPE IUpdateItem::*get)(BSTR*);
  };
  static constexpr Field kFields[] = {
      {u"title", &IUpdateItem::get_title},
      {u"link", &IUpdateItem::get_link},
      {u"description", &IUpdateItem::get_description},
      {u"guid", &IUpdateItem::get_guid},
      {u"category", &IUpdateItem::get_category},
  };
  for (const Field& field : kFields) {
    BStr value;
    if (FAILED(hr = GetText(item, field.get, value))) return FeedStatus::PassOn(hr);
    AppendTextElement(itemNode, field.name, value.View());
  }
  DATE published = 0.0;
  if (FAILED(hr = item->get_pubDate(&published))) return FeedStatus::PassOn(hr);
  AppendTextElement(itemNode, u"pubDate", FormatFeedDate(published));
  Enclosure enclosure;
  if (FAILED(hr = GetEnclosure(item, enclosure))) return FeedStatus::PassOn(hr);
  if (!enclosure.IsEmpty()) itemNode.appendChild(CreateEnclosureElement(document_, enclosure));
  return FeedStatus::Ok();
}

}  // namespace qx::feed

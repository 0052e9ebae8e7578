#include "catalog/catalog_file_writer.h"

#include <array>
#include <memory>
#include <string>

#include "feed/enclosure.h"
#include "feed/feed_date.h"
#include "feed/xml_dom/xml_document.h"
#include "feed/xml_dom/xml_stream_writer.h"
#include "qxnet/bstr.h"
#include "qxnet/com_ptr.h"

namespace qx::catalog {

namespace {

constexpr std::u16string_view kLineBreak = u"\r\n";
constexpr std::u16string_view kItemIndent = u"\r\n  ";
constexpr std::u16string_view kValueIndent = u"\r\n    ";
constexpr mode_t kNewCatalogMode = 0600;

// A failed item getter gives empty text rather than losing the whole save.
BStr ItemText(IUpdateItem* item, HRESULT (STDMETHODCALLTYPE IUpdateItem::*getter)(BSTR*)) {
  BStr value;
  if (FAILED((item->*getter)(value.Put()))) return BStr();
  return value;
}

std::u16string Decimal(LONG value) {
  std::string text = std::to_string(value);
  return std::u16string(text.begin(), text.end());
}

// Writes the catalog in file order, one item at a time, so that saving
// holds no more than one item's elements besides the objects.
class CatalogFileBuilder {
 public:
  explicit CatalogFileBuilder(xml::StreamWriter& out) : out_(out) {}

  // A line break (with `indent`) and then the element holding `value`.
  void AppendValue(std::u16string_view indent, std::u16string_view name,
                   std::u16string_view value) {
    out_.Whitespace(indent);
    out_.TextElement(name, value);
  }

  // One list element with its items; HRESULT of a failing collection read.
  HRESULT AppendList(std::u16string_view name, IUpdateItems* list) {
    out_.Whitespace(kLineBreak);
    if (!list) return S_OK;  // no collection: the list is left out of the file
    LONG count = 0;
    HRESULT hr = list->get_Count(&count);
    if (FAILED(hr)) return hr;
    out_.StartElement(name);
    for (LONG i = 0; i < count; ++i) {
      ComPtr<IUpdateItem> item;
      hr = list->Item(i, item.Put());
      if (FAILED(hr)) return hr;
      if (!item) return E_POINTER;
      out_.Whitespace(kItemIndent);
      out_.Element(ItemElement(item.Get()));
    }
    out_.EndElement(name);
    return S_OK;
  }

 private:
  xml::Node ItemElement(IUpdateItem* item) {
    xml::Document& doc = out_.Scratch();
    xml::Node element = doc.createElement(u"item");
    auto value = [&](std::u16string_view name, std::u16string_view text) {
      element.appendText(kValueIndent);
      element.appendElement(name).appendText(text);
    };
    value(u"guid", ItemText(item, &IUpdateItem::get_guid).View());
    value(u"title", ItemText(item, &IUpdateItem::get_title).View());
    value(u"description", ItemText(item, &IUpdateItem::get_description).View());
    value(u"link", ItemText(item, &IUpdateItem::get_link).View());
    value(u"category", ItemText(item, &IUpdateItem::get_category).View());
    DATE pubDate = 0.0;
    if (FAILED(item->get_pubDate(&pubDate))) pubDate = 0.0;
    value(u"pubDate", feed::FormatFeedDate(pubDate));
    // The payload line only for items that have one: a catalog of items
    // without payload data is written as it always was.
    feed::Enclosure enclosure;
    if (SUCCEEDED(feed::GetEnclosure(item, enclosure)) && !enclosure.IsEmpty()) {
      element.appendText(kValueIndent);
      element.appendChild(feed::CreateEnclosureElement(doc, enclosure));
    }
    VARIANT_BOOL required = VARIANT_FALSE;
    if (SUCCEEDED(item->get_required(&required)) && required == VARIANT_TRUE) {
      element.setAttribute(u"required", u"true");
    }
    return element;
  }

  xml::StreamWriter& out_;
};

}  // namespace

HRESULT SaveCatalogFile(std::u16string_view fileName, const CatalogValues& values,
                        IUpdateCatalog& catalog, const FailureReport& report) {
  if (fileName.empty()) return report(u"filename is not set", E_FAIL);

  std::unique_ptr<xml::Document> scratch;
  try {
    scratch = std::make_unique<xml::Document>();
  } catch (const xml::DomError& error) {
    return report(u"Failed to instantiate an XML DOM.", error.hr);
  }

  try {
    xml::SaveOptions options;
    options.newFileMode = kNewCatalogMode;
    xml::StreamWriter out(fileName, options, *scratch);
    CatalogFileBuilder builder(out);
    out.Declaration(u"version='1.0'");
    out.StartElement(u"updatecatalog");
    builder.AppendValue(kLineBreak, u"formatversion", Decimal(values.fileFormatVersion));
    builder.AppendValue(kLineBreak, u"feedurl", values.feedUrl.View());
    builder.AppendValue(kLineBreak, u"checkinterval", Decimal(values.checkInterval));
    builder.AppendValue(kLineBreak, u"lastcheckdate", feed::FormatFeedDate(values.lastCheckDate));
    builder.AppendValue(kLineBreak, u"publishdate", feed::FormatFeedDate(values.publishDate));
    builder.AppendValue(kLineBreak, u"title", values.title.View());
    builder.AppendValue(kLineBreak, u"enabled",
                        values.enabled == VARIANT_TRUE ? u"true" : u"false");
    builder.AppendValue(kLineBreak, u"password", values.password.View());

    using Getter = HRESULT (STDMETHODCALLTYPE IUpdateCatalog::*)(IUpdateItems**);
    const std::array<std::pair<std::u16string_view, Getter>, 3> lists = {{
        {u"notinstalleditems", &IUpdateCatalog::get_NotInstalledItems},
        {u"discardeditems", &IUpdateCatalog::get_DiscardedItems},
        {u"installeditems", &IUpdateCatalog::get_InstalledItems},
    }};
    for (const auto& [name, getter] : lists) {
      ComPtr<IUpdateItems> list;
      if (FAILED((catalog.*getter)(list.Put()))) list = nullptr;
      // A list that cannot be read ends the save: writing the file without
      // its items would lose what the user installed or discarded.
      HRESULT hr = builder.AppendList(name, list.Get());
      if (FAILED(hr)) return hr;
    }
    out.Whitespace(kLineBreak);
    out.EndElement(u"updatecatalog");
    out.Commit();
  } catch (const xml::DomError& error) {
    return report(error.description, error.hr);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

}  // namespace qx::catalog

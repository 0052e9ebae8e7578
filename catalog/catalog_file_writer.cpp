#include "catalog/catalog_file_writer.h"

#include <array>
#include <string>

#include "feed/enclosure.h"
#include "feed/feed_date.h"
#include "feed/xml_dom/xml_document.h"
#include "server/object_frame/bstr.h"
#include "server/object_frame/com_ptr.h"

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

// Builds the catalog's tree by appending to it in file order.
class CatalogDocumentBuilder {
 public:
  CatalogDocumentBuilder(xml::Document& doc) : doc_(doc) {}

  void AppendText(xml::Node parent, std::u16string_view text) { parent.appendText(text); }

  // A line break (with `indent`) and then the element holding `value`.
  void AppendValue(xml::Node parent, std::u16string_view indent, std::u16string_view name,
                   std::u16string_view value) {
    parent.appendText(indent);
    parent.appendElement(name).appendText(value);
  }

  // One list element with its items; HRESULT of a failing collection read.
  HRESULT AppendList(xml::Node root, std::u16string_view name, IUpdateItems* list) {
    AppendText(root, kLineBreak);
    if (!list) return S_OK;  // no collection: the list is left out of the file
    xml::Node element = root.appendElement(name);
    LONG count = 0;
    HRESULT hr = list->get_Count(&count);
    if (FAILED(hr)) return hr;
    for (LONG i = 0; i < count; ++i) {
      ComPtr<IUpdateItem> item;
      hr = list->Item(i, item.Put());
      if (FAILED(hr)) return hr;
      if (!item) return E_POINTER;
      AppendItem(element, item.Get());
    }
    return S_OK;
  }

 private:
  void AppendItem(xml::Node list, IUpdateItem* item) {
    list.appendText(kItemIndent);
    xml::Node element = list.appendElement(u"item");
    AppendValue(element, kValueIndent, u"guid", ItemText(item, &IUpdateItem::get_guid).View());
    AppendValue(element, kValueIndent, u"title", ItemText(item, &IUpdateItem::get_title).View());
    AppendValue(element, kValueIndent, u"description",
                ItemText(item, &IUpdateItem::get_description).View());
    AppendValue(element, kValueIndent, u"link", ItemText(item, &IUpdateItem::get_link).View());
    AppendValue(element, kValueIndent, u"category",
                ItemText(item, &IUpdateItem::get_category).View());
    DATE pubDate = 0.0;
    if (FAILED(item->get_pubDate(&pubDate))) pubDate = 0.0;
    AppendValue(element, kValueIndent, u"pubDate", feed::FormatFeedDate(pubDate));
    // The payload line only for items that have one: a catalog of items
    // without payload data is written as it always was.
    feed::Enclosure enclosure;
    if (SUCCEEDED(feed::GetEnclosure(item, enclosure)) && !enclosure.IsEmpty()) {
      AppendText(element, kValueIndent);
      element.appendChild(feed::CreateEnclosureElement(doc_, enclosure));
    }
    VARIANT_BOOL required = VARIANT_FALSE;
    if (SUCCEEDED(item->get_required(&required)) && required == VARIANT_TRUE) {
      element.setAttribute(u"required", u"true");
    }
  }

  xml::Document& doc_;
};

}  // namespace

HRESULT SaveCatalogFile(std::u16string_view fileName, const CatalogValues& values,
                        IUpdateCatalog& catalog, const FailureReport& report) {
  if (fileName.empty()) return report(u"filename is not set", E_FAIL);

  std::unique_ptr<xml::Document> doc;
  try {
    doc = std::make_unique<xml::Document>();
  } catch (const xml::DomError& error) {
    return report(u"Failed to instantiate an XML DOM.", error.hr);
  }

  try {
    CatalogDocumentBuilder builder(*doc);
    doc->appendChild(doc->createProcessingInstruction(u"xml", u"version='1.0'"));
    xml::Node root = doc->createElement(u"updatecatalog");

    builder.AppendValue(root, kLineBreak, u"formatversion", Decimal(values.fileFormatVersion));
    builder.AppendValue(root, kLineBreak, u"feedurl", values.feedUrl.View());
    builder.AppendValue(root, kLineBreak, u"checkinterval", Decimal(values.checkInterval));
    builder.AppendValue(root, kLineBreak, u"lastcheckdate",
                        feed::FormatFeedDate(values.lastCheckDate));
    builder.AppendValue(root, kLineBreak, u"publishdate",
                        feed::FormatFeedDate(values.publishDate));
    builder.AppendValue(root, kLineBreak, u"title", values.title.View());
    builder.AppendValue(root, kLineBreak, u"enabled",
                        values.enabled == VARIANT_TRUE ? u"true" : u"false");
    builder.AppendValue(root, kLineBreak, u"password", values.password.View());

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
      HRESULT hr = builder.AppendList(root, name, list.Get());
      if (FAILED(hr)) return hr;
    }
    builder.AppendText(root, kLineBreak);
    doc->appendChild(root);

    xml::SaveOptions options;
    options.newFileMode = kNewCatalogMode;
    doc->save(fileName, options);
  } catch (const xml::DomError& error) {
    return report(error.description, error.hr);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

}  // namespace qx::catalog

#include "catalog/catalog_file_reader.h"

#include <cstdint>
#include <memory>
#include <vector>

#include "catalog/check_schedule.h"
#include "feed/enclosure.h"
#include "feed/feed_date.h"
#include "feed/item_content.h"
#include "feed/item_value.h"
#include "feed/update_file_limit.h"
#include "feed/xml_dom/first_child_elements.h"
#include "feed/xml_dom/xml_document.h"
#include "qxnet/bstr.h"
#include "qxnet/com_ptr.h"
#include "qxnet/text.h"
#include "server/collections/item_batch.h"
#include "server/object_frame/create_object.h"

namespace qx::catalog {

namespace {

bool IsBlank(char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }

BStr Owned(std::u16string_view text) {
  BStr value(text);
  if (value.IsNull()) throw std::bad_alloc();
  return value;
}

// One list of the file and where its items go.
struct ListSpec {
  std::u16string_view query;
  std::u16string_view status;
  HRESULT (STDMETHODCALLTYPE IUpdateCatalog::*getter)(IUpdateItems**);
};

class CatalogFileReader {
 public:
  CatalogFileReader(CatalogValues& values, IUpdateCatalog& catalog, const FailureReport& report)
      : values_(values), catalog_(catalog), report_(report) {}

  HRESULT Read(std::u16string_view fileName) {
    std::unique_ptr<xml::Document> doc;
    try {
      doc = std::make_unique<xml::Document>();
    } catch (const xml::DomError& error) {
      return report_(u"Failed to instantiate an XML DOM.", error.hr);
    }
    if (!doc->load(fileName, feed::UpdateFileLimit())) {
      return report_(u"Failed to load file: " + doc->parseError().reason, E_FAIL);
    }
    xml::Node catalogElement;
    try {
      xml::Node top = doc->documentElement();
      if (top) catalogElement = top.selectSingleNode(u"//updatecatalog");
    } catch (const xml::DomError& error) {
      return report_(error.description, error.hr);
    }
    if (!catalogElement) {
      return report_(u"Invalid catalog file. Unable to find updatecatalog element.", E_FAIL);
    }
    ReadValues(catalogElement);

    static constexpr ListSpec kLists[] = {
        {u"./notinstalleditems", u"Pending", &IUpdateCatalog::get_NotInstalledItems},
        {u"./discardeditems", u"Discarded", &IUpdateCatalog::get_DiscardedItems},
        {u"./installeditems", u"Installed", &IUpdateCatalog::get_InstalledItems},
    };
    HRESULT last = S_OK;
    for (const ListSpec& spec : kLists) {
      xml::NodeList found;
      try {
        found = catalogElement.selectNodes(spec.query);
      } catch (const xml::DomError&) {
        return report_(u"Invalid catalog file. Unable to find item elements.", E_FAIL);
      }
      if (found.length() == 0) continue;  // an absent list is no error
      last = ReadList(found.item(0), spec);
      if (stop_) return last;
    }
    return last;
  }

 private:
  void ReadValues(const xml::Node& element) {
    std::u16string text = ChildValue(element, u"formatversion");
    values_.fileFormatVersion = text.empty() ? 1 : LeadingInteger(text);
    values_.feedUrl = Owned(ChildValue(element, u"feedurl"));
    text = ChildValue(element, u"checkinterval");
    values_.checkInterval = text.empty() ? 1 : LeadingInteger(text);
    text = ChildValue(element, u"lastcheckdate");
    if (text.empty()) {
      values_.checkInterval = 0;  // no record of a check: due at once
    } else {
      values_.lastCheckDate = feed::ParseFeedDate(text);
    }
    values_.nextCheckDate =
        NextCheckDate(values_.lastCheckDate, values_.checkInterval, feed::CurrentLocalDate());
    text = ChildValue(element, u"publishdate");
    values_.publishDate = text.empty() ? 0.0 : feed::ParseFeedDate(text);
    values_.title = Owned(ChildValue(element, u"title"));
    values_.enabled = ChildValue(element, u"enabled") == u"true" ? VARIANT_TRUE : VARIANT_FALSE;
    values_.password = Owned(ChildValue(element, u"password"));
  }

  HRESULT ReadList(xml::Node listElement, const ListSpec& spec) {
    std::vector<xml::Node> items;
    try {
      for (xml::Node child = listElement.firstChild(); child; child = child.nextSibling()) {
        if (xml::IsElementName(child.elementNameUtf8(), "item")) items.push_back(child);
      }
    } catch (const std::bad_alloc&) {
      stop_ = true;
      return report_(u"Not enough memory to read the catalog.", E_OUTOFMEMORY);
    }
    ComPtr<IUpdateItems> list;
    HRESULT hr = (catalog_.*spec.getter)(list.Put());
    if (FAILED(hr) || !list) {
      stop_ = true;  // the getter has reported its failure
      return FAILED(hr) ? hr : report_(u"Invalid Item pointer", E_FAIL);
    }
    std::vector<ComPtr<IUpdateItem>> made;
    made.reserve(items.size());
    hr = S_OK;
    // The items read before a failure stay in the list.
    try {
      for (size_t i = 0; i < items.size() && SUCCEEDED(hr); ++i) {
        const xml::Node& element = items[i];
        hr = ReadItem(element, spec.status, made);
        // The list's elements up to this item are no longer needed: their
        // memory goes to the items still to be made instead of adding to
        // the peak.
        listElement.removeChildrenThrough(element);
      }
    } catch (...) {
      AddItems(*list.Get(), made);
      throw;
    }
    AddItems(*list.Get(), made);
    return hr;
  }

  HRESULT ReadItem(const xml::Node& element, std::u16string_view status,
                   std::vector<ComPtr<IUpdateItem>>& made) {
    if (!element) return report_(u"Invalid item Element", E_FAIL);
    enum { kGuid, kTitle, kDescription, kLink, kCategory, kPubDate, kEnclosure };
    xml::FirstChildElements<7> found(
        {"guid", "title", "description", "link", "category", "pubDate", "enclosure"});
    found.collect(element);
    feed::ItemValues values;
    values.guid = OwnedValue(found[kGuid]);
    if (values.guid.Length() == 0) return S_OK;  // an item without identity is dropped

    // Items are made by the class's factory, found once per file.
    HRESULT hr = S_OK;
    if (!itemFactory_ &&
        FAILED(hr = GetClassFactory(CLSID_UpdateItem, CLSCTX_SERVER, itemFactory_))) {
      return report_(u"Failed to create UpdateItem object", hr);
    }
    ComPtr<IUpdateItem> item;
    hr = CreateFromFactory(*itemFactory_.Get(), item);
    if (FAILED(hr)) return report_(u"Failed to create UpdateItem object", hr);
    values.title = OwnedValue(found[kTitle]);
    values.description = OwnedValue(found[kDescription]);
    values.link = OwnedValue(found[kLink]);
    values.category = OwnedValue(found[kCategory]);
    values.pubDate = DateValue(found[kPubDate]);
    values.required = RequiredFlag(element);
    values.status = Owned(status);
    if (feed::StoreValues(*item.Get(), values) == E_OUTOFMEMORY) throw std::bad_alloc();
    if (const std::optional<feed::Enclosure> enclosure = ReadEnclosure(found[kEnclosure])) {
      feed::PutEnclosure(item.Get(), *enclosure);
    }
    made.push_back(std::move(item));
    return S_OK;
  }

  // The value of an element found (empty text when none); an unreadable
  // one counts as empty, as ChildValue reads it.
  BStr OwnedValue(const xml::Node& element) {
    std::string_view text;
    try {
      if (element) text = element.textUtf8(gathered_);
    } catch (const xml::DomError&) {
      text = {};
    }
    BStr value = feed::ItemValue(text);
    if (value.IsNull()) throw std::bad_alloc();
    return value;
  }
  // The date an element found holds; 0.0 when none is read from it.
  DATE DateValue(const xml::Node& element) {
    try {
      return element ? feed::ItemDate(element.textUtf8(gathered_)) : 0.0;
    } catch (const xml::DomError&) {
      return 0.0;
    }
  }

  // The payload data of the item's `enclosure` element; an unreadable
  // element counts as absent, like the other values of an item.
  static std::optional<feed::Enclosure> ReadEnclosure(const xml::Node& enclosure) {
    try {
      return feed::ReadEnclosureElement(enclosure);
    } catch (const xml::DomError&) {
      return std::nullopt;
    }
  }

  static VARIANT_BOOL RequiredFlag(const xml::Node& element) {
    try {
      std::optional<std::u16string> value = element.getAttribute(u"required");
      if (value && EqualsIgnoringAsciiCase(*value, u"true")) return VARIANT_TRUE;
    } catch (const xml::DomError&) {
      // an unreadable attribute counts as absent
    }
    return VARIANT_FALSE;
  }

  CatalogValues& values_;
  IUpdateCatalog& catalog_;
  const FailureReport& report_;
  ComPtr<IClassFactory> itemFactory_;
  // Room for the text of an element that has more than one piece of it.
  std::string gathered_;
  // Set by a failure that ends the whole load, not just one list.
  bool stop_ = false;
};

}  // namespace

std::u16string ChildValue(const xml::Node& parent, std::u16string_view name) {
  try {
    std::u16string query = u"./" + std::u16string(name);
    xml::Node child = parent.selectSingleNode(query);
    if (!child) return {};
    return feed::CutValue(child.text());
  } catch (const xml::DomError&) {
    return {};
  }
}

LONG LeadingInteger(std::u16string_view text) {
  size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
    negative = text[i] == u'-';
    ++i;
  }
  long long magnitude = 0;
  const long long limit = negative ? -static_cast<long long>(INT32_MIN) : INT32_MAX;
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
    magnitude = magnitude * 10 + (text[i] - u'0');
    if (magnitude > limit) magnitude = limit;  // saturates; stays far below overflow
  }
  return static_cast<LONG>(negative ? -magnitude : magnitude);
}

HRESULT LoadCatalogFile(std::u16string_view fileName, CatalogValues& values,
                        IUpdateCatalog& catalog, const FailureReport& report) {
  try {
    return CatalogFileReader(values, catalog, report).Read(fileName);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace qx::catalog

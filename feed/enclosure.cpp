#include "feed/enclosure.h"

#include <limits>

#include "qxnet/bstr.h"
#include "qxnet/com_ptr.h"
#include "qxnet/text.h"

namespace qx::feed {

namespace {

constexpr std::u16string_view kElement = u"enclosure";
constexpr std::u16string_view kSha256 = u"sha256";
constexpr std::u16string_view kEdSignature = u"edSignature";

std::u16string Prefixed(std::u16string_view localName) {
  return std::u16string(kUpdatesPrefix) + u":" + std::u16string(localName);
}

HRESULT PutText(IUpdateItem2* item, HRESULT (STDMETHODCALLTYPE IUpdateItem2::*put)(BSTR),
                const std::u16string& value) {
  BStr text(value);
  if (text.IsNull()) return E_OUTOFMEMORY;
  return (item->*put)(text.Get());
}

// The end of the start tag beginning at `open`: the first ">" outside a
// quoted attribute value.
size_t TagEnd(std::u16string_view text, size_t open) {
  char16_t quote = 0;
  for (size_t i = open; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == u'"' || c == u'\'') {
      quote = c;
    } else if (c == u'>') {
      return i;
    }
  }
  return std::u16string_view::npos;
}

}  // namespace

LONGLONG ParseEnclosureLength(std::u16string_view text) {
  if (text.empty()) return kNoLength;
  constexpr LONGLONG kMax = std::numeric_limits<LONGLONG>::max();
  LONGLONG value = 0;
  for (char16_t c : text) {
    if (c < u'0' || c > u'9') return kNoLength;
    const int digit = c - u'0';
    if (value > (kMax - digit) / 10) return kNoLength;
    value = value * 10 + digit;
  }
  return value;
}

std::optional<Enclosure> ReadEnclosure(const xml::Node& item) {
  for (xml::Node child = item.firstChild(); child; child = child.nextSibling()) {
    if (child.nodeType() == xml::NodeType::kElement && child.hasName(kElement)) {
      return ReadEnclosureElement(child);
    }
  }
  return std::nullopt;
}

std::optional<Enclosure> ReadEnclosureElement(const xml::Node& element) {
  if (!element) return std::nullopt;
  Enclosure enclosure;
  enclosure.url = element.getAttribute(u"url").value_or(u"");
  enclosure.length = ParseEnclosureLength(element.getAttribute(u"length").value_or(u""));
  enclosure.type = element.getAttribute(u"type").value_or(u"");
  enclosure.sha256 = element.getAttributeNS(kUpdatesNamespace, kSha256).value_or(u"");
  enclosure.edSignature = element.getAttributeNS(kUpdatesNamespace, kEdSignature).value_or(u"");
  return enclosure;
}

xml::Node CreateEnclosureElement(xml::Document& document, const Enclosure& enclosure) {
  xml::Node element = document.createElement(kElement);
  if (!enclosure.url.empty()) element.setAttribute(u"url", enclosure.url);
  if (enclosure.length >= 0) {
    element.setAttribute(u"length", Utf8ToUtf16(std::to_string(enclosure.length)));
  }
  if (!enclosure.type.empty()) element.setAttribute(u"type", enclosure.type);
  if (enclosure.sha256.empty() && enclosure.edSignature.empty()) return element;
  element.setAttribute(u"xmlns:" + std::u16string(kUpdatesPrefix), kUpdatesNamespace);
  if (!enclosure.sha256.empty()) element.setAttribute(Prefixed(kSha256), enclosure.sha256);
  if (!enclosure.edSignature.empty()) {
    element.setAttribute(Prefixed(kEdSignature), enclosure.edSignature);
  }
  return element;
}

std::u16string EnclosureFragment(const Enclosure& enclosure) {
  xml::Document document;
  document.appendChild(CreateEnclosureElement(document, enclosure));
  std::string text = document.xml();
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return Utf8ToUtf16(text);
}

std::optional<Enclosure> EnclosureFromFragment(std::u16string_view text) {
  const std::u16string open = u"<" + std::u16string(kElement);
  for (size_t at = text.find(open); at != std::u16string_view::npos; at = text.find(open, at + 1)) {
    const size_t next = at + open.size();
    // "<enclosures>" or "<enclosure2" name another element.
    if (next < text.size() && text[next] != u' ' && text[next] != u'/' && text[next] != u'>' &&
        text[next] != u'\t' && text[next] != u'\n' && text[next] != u'\r') {
      continue;
    }
    const size_t end = TagEnd(text, at);
    if (end == std::u16string_view::npos) return std::nullopt;
    std::u16string tag(text.substr(at, end + 1 - at));
    // An element of its own, closed right away, whatever the tag said.
    if (tag.size() < 2 || tag[tag.size() - 2] != u'/') tag.insert(tag.size() - 1, u"/");
    xml::Document document;
    if (!document.loadXml(Utf16ToUtf8(u"<item>" + tag + u"</item>"))) return std::nullopt;
    return ReadEnclosure(document.documentElement());
  }
  return std::nullopt;
}

HRESULT GetEnclosure(IUpdateItem* item, Enclosure& out) {
  out = Enclosure();
  ComPtr<IUpdateItem2> item2;
  if (!item || FAILED(item->QueryInterface(IID_IUpdateItem2, item2.PutVoid())) || !item2) {
    return S_OK;
  }
  struct TextField {
    HRESULT (STDMETHODCALLTYPE IUpdateItem2::*get)(BSTR*);
    std::u16string Enclosure::*field;
  };
  static constexpr TextField kFields[] = {
      {&IUpdateItem2::get_enclosureUrl, &Enclosure::url},
      {&IUpdateItem2::get_enclosureType, &Enclosure::type},
      {&IUpdateItem2::get_sha256, &Enclosure::sha256},
      {&IUpdateItem2::get_edSignature, &Enclosure::edSignature},
  };
  for (const TextField& field : kFields) {
    BStr value;
    HRESULT hr = (item2.Get()->*field.get)(value.Put());
    if (FAILED(hr)) return hr;
    out.*field.field = value.Text();
  }
  return item2->get_enclosureLength(&out.length);
}

HRESULT PutEnclosure(IUpdateItem* item, const Enclosure& enclosure) {
  ComPtr<IUpdateItem2> item2;
  if (!item || FAILED(item->QueryInterface(IID_IUpdateItem2, item2.PutVoid())) || !item2) {
    return S_OK;
  }
  HRESULT hr;
  if (FAILED(hr = PutText(item2.Get(), &IUpdateItem2::put_enclosureUrl, enclosure.url)) ||
      FAILED(hr = item2->put_enclosureLength(enclosure.length)) ||
      FAILED(hr = PutText(item2.Get(), &IUpdateItem2::put_enclosureType, enclosure.type)) ||
      FAILED(hr = PutText(item2.Get(), &IUpdateItem2::put_sha256, enclosure.sha256)) ||
      FAILED(hr = PutText(item2.Get(), &IUpdateItem2::put_edSignature, enclosure.edSignature))) {
    return hr;
  }
  return S_OK;
}

}  // namespace qx::feed

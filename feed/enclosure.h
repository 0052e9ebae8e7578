// The payload an update item describes: the RSS `enclosure` element with its
// `url`, `length` and `type`, and the `sha256` and `edSignature` attributes in
// the project's namespace, which is found by its URI whatever its prefix.
// The feed, the catalog file and the item fragment all carry it in this one
// form; an item without payload data writes no element at all, so files of
// items without it stay as they were.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "feed/xml_dom/xml_document.h"
#include "qxnet/qxnetlib.h"

namespace qx::feed {

inline constexpr std::u16string_view kUpdatesNamespace = u"urn:qxnet:updates:1";
inline constexpr std::u16string_view kUpdatesPrefix = u"qx";

// The length that stands for none, or for a text that is not a length.
inline constexpr LONGLONG kNoLength = -1;

struct Enclosure {
  std::u16string url;
  LONGLONG length = kNoLength;
  std::u16string type;
  std::u16string sha256;
  std::u16string edSignature;

  bool IsEmpty() const {
    return url.empty() && length < 0 && type.empty() && sha256.empty() && edSignature.empty();
  }
};

// A length text: decimal digits only (no sign, no blanks) that fit 64 bits;
// anything else gives kNoLength.
LONGLONG ParseEnclosureLength(std::u16string_view text);

// The first `enclosure` child element of `item`, or none. Throws DomError.
std::optional<Enclosure> ReadEnclosure(const xml::Node& item);
// The same read from an `enclosure` element already found; none when
// `element` is no node. Throws DomError.
std::optional<Enclosure> ReadEnclosureElement(const xml::Node& element);

// A new `enclosure` element of `document` holding the non-empty values,
// with the namespace declared on the element itself. Throws DomError.
xml::Node CreateEnclosureElement(xml::Document& document, const Enclosure& enclosure);

// The element as text for the item fragment, and read back from a fragment
// (the first "<enclosure" tag in the text); none when the text has no
// readable one.
std::u16string EnclosureFragment(const Enclosure& enclosure);
std::optional<Enclosure> EnclosureFromFragment(std::u16string_view text);

// The item's payload data through IUpdateItem2; an item that does not answer
// that interface has none (an empty Enclosure).
HRESULT GetEnclosure(IUpdateItem* item, Enclosure& out);
// Stores `enclosure` on an item that answers IUpdateItem2; others are left
// as they are.
HRESULT PutEnclosure(IUpdateItem* item, const Enclosure& enclosure);

}  // namespace qx::feed

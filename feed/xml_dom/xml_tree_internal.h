// Helpers shared by the node and document implementations (not part of the
// DOM layer's interface).
#pragma once

#include <pugixml.hpp>

#include <new>
#include <string>
#include <string_view>

#include "feed/xml_dom/dom_error.h"

namespace qx::xml::internal {

// Name of the hidden top-level element that holds created nodes until they
// are appended; it is not a valid XML name, so no parsed or created element
// can carry it.
inline constexpr const char* kDetachedHolderName = "#detached";

bool IsDetachedHolder(pugi::xml_node node);

// True for a well-formed XML name (letters, digits, '_', ':', '-', '.' and
// any non-ASCII character; not starting with a digit, '-' or '.').
bool IsValidXmlName(std::string_view utf8);

// The UTF-8 form of an element name; throws DomError when it is not a
// well-formed XML name.
std::string ValidElementName(std::u16string_view name);

// Text for the tree: UTF-8, with U+0000 (which XML cannot hold) left out.
std::string ToTreeText(std::u16string_view text);

// Removes every child of `parent`, deepest first, without recursion.
void RemoveChildren(pugi::xml_node parent);

// Runs `work`, turning allocation failures into DomError.
template <class Work>
auto GuardAllocation(Work&& work) -> decltype(work()) {
  try {
    return work();
  } catch (const std::bad_alloc&) {
    throw DomError(u"Not enough memory for the XML document.", E_OUTOFMEMORY);
  }
}

}  // namespace qx::xml::internal

#include "feed/xml_dom/xml_node.h"

#include <pugixml.hpp>

#include <algorithm>
#include <cstring>

#include "feed/xml_dom/xml_tree_internal.h"
#include "qxnet/text.h"

namespace qx::xml {
namespace {

using internal::GuardAllocation;

pugi::xml_node Of(pugi::xml_node_struct* node) { return pugi::xml_node(node); }

std::u16string Quoted(std::string_view utf8) { return u"\"" + Utf8ToUtf16(utf8) + u"\""; }

// Runs an XPath query, turning its failures into DomError.
pugi::xpath_node_set Select(pugi::xml_node node, std::u16string_view query) {
  if (!node) throw DomError(u"The query was asked on no node.", E_POINTER);
  const std::string text = Utf16ToUtf8(query);
  try {
    return node.select_nodes(text.c_str());
  } catch (const pugi::xpath_exception& e) {
    throw DomError(u"The query " + Quoted(text) + u" is not valid: " + Utf8ToUtf16(e.what()),
                   E_FAIL);
  } catch (const std::bad_alloc&) {
    throw DomError(u"Not enough memory for the XML query.", E_OUTOFMEMORY);
  }
}

// Whether the text is a name that an XPath name test compares as written:
// ASCII letters, digits, '_', '-' and '.', not starting with a digit, '-'
// or '.'.
bool IsPlainName(std::u16string_view name) {
  auto letter = [](char16_t c) {
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || c == u'_';
  };
  if (name.empty() || !letter(name[0])) return false;
  return std::all_of(name.begin(), name.end(), [&](char16_t c) {
    return letter(c) || (c >= u'0' && c <= u'9') || c == u'-' || c == u'.';
  });
}

// For a "//name" query: the document's top element when it has that name,
// which is then the first match in document order (every other element
// lies inside it or after it); none otherwise. Spares a query that would
// visit the whole tree to answer with its first node.
pugi::xml_node TopElementFirstFound(pugi::xml_node node, std::u16string_view query) {
  if (!node || query.substr(0, 2) != u"//" || !IsPlainName(query.substr(2))) return {};
  const std::u16string_view name = query.substr(2);
  for (pugi::xml_node top = node.root().first_child(); top; top = top.next_sibling()) {
    if (top.type() != pugi::node_element) continue;
    const char* own = top.name();
    size_t i = 0;
    while (i < name.size() && own[i] != '\0' && char16_t(own[i]) == name[i]) ++i;
    return i == name.size() && own[i] == '\0' ? top : pugi::xml_node();
  }
  return {};
}

bool CanHoldChild(pugi::xml_node parent, pugi::xml_node child) {
  if (parent.type() != pugi::node_element) return false;
  switch (child.type()) {
    case pugi::node_element:
    case pugi::node_pcdata:
    case pugi::node_cdata:
    case pugi::node_comment:
      return true;
    case pugi::node_pi:
      return std::strcmp(child.name(), "xml") != 0;
    default:
      return false;
  }
}

// The namespace bound to `prefix` where `node` stands: the nearest xmlns
// declaration of it on the node or an ancestor.
const char* NamespaceOfPrefix(pugi::xml_node node, std::string_view prefix) {
  const std::string declaration = "xmlns:" + std::string(prefix);
  for (; node && node.type() == pugi::node_element; node = node.parent()) {
    if (const pugi::xml_attribute bound = node.attribute(declaration.c_str())) {
      return bound.value();
    }
  }
  return nullptr;
}

}  // namespace

NodeType Node::nodeType() const {
  switch (Of(node_).type()) {
    case pugi::node_null:
      return NodeType::kNone;
    case pugi::node_document:
      return NodeType::kDocument;
    case pugi::node_element:
      return NodeType::kElement;
    case pugi::node_pcdata:
      return NodeType::kText;
    case pugi::node_cdata:
      return NodeType::kCData;
    case pugi::node_pi:
      return NodeType::kProcessingInstruction;
    default:
      return NodeType::kOther;
  }
}

std::u16string Node::nodeName() const {
  return GuardAllocation([&]() -> std::u16string {
    switch (nodeType()) {
      case NodeType::kDocument:
        return u"#document";
      case NodeType::kText:
        return u"#text";
      case NodeType::kCData:
        return u"#cdata-section";
      default:
        return Utf8ToUtf16(Of(node_).name());
    }
  });
}

bool Node::hasName(std::u16string_view name) const {
  const pugi::xml_node node = Of(node_);
  if (node.type() != pugi::node_element && node.type() != pugi::node_pi) return false;
  const char* own = node.name();
  // ASCII compares unit by unit; anything else as text.
  size_t i = 0;
  for (; i < name.size() && own[i] != '\0'; ++i) {
    const auto byte = static_cast<unsigned char>(own[i]);
    if (byte >= 0x80 || name[i] >= 0x80) return GuardAllocation([&] { return nodeName() == name; });
    if (byte != name[i]) return false;
  }
  return i == name.size() && own[i] == '\0';
}

const char* Node::elementNameUtf8() const {
  const pugi::xml_node node = Of(node_);
  return node.type() == pugi::node_element ? node.name() : "";
}

std::u16string Node::text() const {
  return GuardAllocation([&] {
    std::string gathered;
    return Utf8ToUtf16(textUtf8(gathered));
  });
}

std::string_view Node::textUtf8(std::string& gathered) const {
  return GuardAllocation([&]() -> std::string_view {
    const pugi::xml_node start = Of(node_);
    if (!start) return {};
    const pugi::xml_node_type startType = start.type();
    if (startType == pugi::node_pcdata || startType == pugi::node_cdata ||
        startType == pugi::node_pi || startType == pugi::node_comment) {
      return start.value();
    }
    // Most elements hold one piece of text: no gathering needed.
    const pugi::xml_node only = start.first_child();
    if (only && !only.next_sibling()) {
      const pugi::xml_node_type onlyType = only.type();
      if (onlyType == pugi::node_pcdata || onlyType == pugi::node_cdata) return only.value();
    }
    // Pre-order walk with parent links: no recursion, whatever the depth.
    gathered.clear();
    pugi::xml_node node = start.first_child();
    while (node) {
      if (node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata) {
        gathered += node.value();
      }
      if (node.first_child() && node.type() == pugi::node_element) {
        node = node.first_child();
        continue;
      }
      while (node && node != start && !node.next_sibling()) node = node.parent();
      if (!node || node == start) break;
      node = node.next_sibling();
    }
    return gathered;
  });
}

void Node::setText(std::u16string_view value) {
  GuardAllocation([&] {
    pugi::xml_node node = Of(node_);
    const std::string text = internal::ToTreeText(value);
    if (node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata) {
      if (!node.set_value(text.c_str())) {
        throw DomError(u"Not enough memory for the XML document.", E_OUTOFMEMORY);
      }
      return;
    }
    if (node.type() != pugi::node_element) {
      throw DomError(u"Text can be set only on an element or a text node.", E_FAIL);
    }
    internal::RemoveChildren(node);
    if (!text.empty() && !node.append_child(pugi::node_pcdata).set_value(text.c_str())) {
      throw DomError(u"Not enough memory for the XML document.", E_OUTOFMEMORY);
    }
  });
}

std::optional<std::u16string> Node::getAttribute(std::u16string_view name) const {
  return GuardAllocation([&]() -> std::optional<std::u16string> {
    const pugi::xml_node node = Of(node_);
    if (node.type() != pugi::node_element) return std::nullopt;
    const std::string key = Utf16ToUtf8(name);
    const pugi::xml_attribute attribute = node.attribute(key.c_str());
    if (!attribute) return std::nullopt;
    return Utf8ToUtf16(attribute.value());
  });
}

std::optional<std::u16string> Node::getAttributeNS(std::u16string_view namespaceUri,
                                                   std::u16string_view localName) const {
  return GuardAllocation([&]() -> std::optional<std::u16string> {
    const pugi::xml_node node = Of(node_);
    if (node.type() != pugi::node_element) return std::nullopt;
    const std::string uri = Utf16ToUtf8(namespaceUri);
    const std::string local = Utf16ToUtf8(localName);
    for (const pugi::xml_attribute attribute : node.attributes()) {
      const std::string_view name = attribute.name();
      const size_t colon = name.find(':');
      if (colon == std::string_view::npos || name.substr(colon + 1) != local) continue;
      const std::string_view prefix = name.substr(0, colon);
      if (prefix == "xmlns") continue;
      const char* bound = NamespaceOfPrefix(node, prefix);
      if (bound && uri == bound) return Utf8ToUtf16(attribute.value());
    }
    return std::nullopt;
  });
}

void Node::setAttribute(std::u16string_view name, std::u16string_view value) {
  GuardAllocation([&] {
    pugi::xml_node node = Of(node_);
    if (node.type() != pugi::node_element) {
      throw DomError(u"Attributes can be set only on an element.", E_FAIL);
    }
    const std::string key = Utf16ToUtf8(name);
    if (!internal::IsValidXmlName(key)) {
      throw DomError(Quoted(key) + u" is not a valid attribute name.", E_INVALIDARG);
    }
    pugi::xml_attribute attribute = node.attribute(key.c_str());
    if (!attribute) attribute = node.append_attribute(key.c_str());
    if (!attribute || !attribute.set_value(internal::ToTreeText(value).c_str())) {
      throw DomError(u"Not enough memory for the XML document.", E_OUTOFMEMORY);
    }
  });
}

Node Node::selectSingleNode(std::u16string_view query) const {
  if (const pugi::xml_node top = TopElementFirstFound(Of(node_), query)) {
    return Node(top.internal_object());
  }
  const pugi::xpath_node_set found = Select(Of(node_), query);
  for (const pugi::xpath_node& match : found) {
    if (match.node()) return Node(match.node().internal_object());
  }
  return Node();
}

NodeList Node::selectNodes(std::u16string_view query) const {
  const pugi::xpath_node_set found = Select(Of(node_), query);
  return GuardAllocation([&] {
    NodeList list;
    list.nodes_.reserve(found.size());
    for (const pugi::xpath_node& match : found) {
      if (match.node()) list.nodes_.push_back(match.node().internal_object());
    }
    return list;
  });
}

NodeList Node::childNodes() const {
  return GuardAllocation([&] {
    NodeList list;
    for (pugi::xml_node child = Of(node_).first_child(); child; child = child.next_sibling()) {
      if (!internal::IsDetachedHolder(child)) list.nodes_.push_back(child.internal_object());
    }
    return list;
  });
}

namespace {

// A new last child of the element `parent`.
pugi::xml_node AppendNew(pugi::xml_node parent, pugi::xml_node_type type) {
  if (parent.type() != pugi::node_element) {
    throw DomError(u"This kind of node cannot be inserted here.", E_FAIL);
  }
  pugi::xml_node child = parent.append_child(type);
  if (!child) throw std::bad_alloc();
  return child;
}

}  // namespace

Node Node::appendElement(std::u16string_view name) {
  const std::string utf8 = internal::ValidElementName(name);
  return GuardAllocation([&] {
    pugi::xml_node child = AppendNew(Of(node_), pugi::node_element);
    if (!child.set_name(utf8.c_str())) throw std::bad_alloc();
    return Node(child.internal_object());
  });
}

void Node::appendText(std::u16string_view text) {
  GuardAllocation([&] {
    const std::string value = internal::ToTreeText(text);
    pugi::xml_node child = AppendNew(Of(node_), pugi::node_pcdata);
    if (!child.set_value(value.c_str())) throw std::bad_alloc();
  });
}

Node Node::firstChild() const {
  pugi::xml_node child = Of(node_).first_child();
  while (child && internal::IsDetachedHolder(child)) child = child.next_sibling();
  return Node(child.internal_object());
}

Node Node::nextSibling() const {
  pugi::xml_node next = Of(node_).next_sibling();
  while (next && internal::IsDetachedHolder(next)) next = next.next_sibling();
  return Node(next.internal_object());
}

void Node::removeChildrenThrough(const Node& child) noexcept {
  pugi::xml_node parent = Of(node_);
  const pugi::xml_node last = Of(child.node_);
  if (!parent || !last || last.parent() != parent) return;
  // Whole runs of the document, whitespace between the children included:
  // only then are the tree's blocks emptied and given back.
  for (pugi::xml_node first = parent.first_child(); first != last; first = parent.first_child())
    parent.remove_child(first);
  parent.remove_child(last);
}

Node Node::appendChild(Node child) {
  pugi::xml_node parent = Of(node_);
  pugi::xml_node moved = Of(child.node_);
  if (!parent || !moved) throw DomError(u"No node was given to append.", E_POINTER);
  if (internal::IsDetachedHolder(moved) || !CanHoldChild(parent, moved)) {
    throw DomError(u"This kind of node cannot be inserted here.", E_FAIL);
  }
  if (moved.root() != parent.root()) {
    throw DomError(u"The node belongs to another document.", E_INVALIDARG);
  }
  for (pugi::xml_node up = parent; up; up = up.parent()) {
    if (up == moved) throw DomError(u"A node cannot be inserted into itself.", E_INVALIDARG);
  }
  return GuardAllocation([&] {
    if (!parent.append_move(moved)) {
      throw DomError(u"The node cannot be inserted here.", E_FAIL);
    }
    return child;
  });
}

}  // namespace qx::xml

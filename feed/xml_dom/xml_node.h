// A node of an XML document: a small handle, valid while its Document lives.
//
// Queries take the XPath forms "//name" (the first or every matching element
// anywhere in the document, in document order) and "./name" (child elements
// of this node); names are compared as written, prefix included, so an
// extension element "ext:item" is not an "item". Text is read and written as
// UTF-16. Every failure throws DomError.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pugi {
struct xml_node_struct;
}

namespace qx::xml {

class NodeList;

enum class NodeType { kNone, kDocument, kElement, kText, kCData, kProcessingInstruction, kOther };

class Node {
 public:
  Node() = default;
  explicit operator bool() const { return node_ != nullptr; }
  bool operator==(const Node& other) const { return node_ == other.node_; }

  NodeType nodeType() const;
  // The element's name, the processing instruction's target, "#text",
  // "#cdata-section" or "#document".
  std::u16string nodeName() const;
  // Whether this is an element (or processing instruction) of that name:
  // nodeName() == name, without making the name's text.
  bool hasName(std::u16string_view name) const;
  // The element's name as zero-terminated UTF-8 in the tree, valid while
  // the element lives; empty for any other node.
  const char* elementNameUtf8() const;

  // The text of this node and all its descendants, in document order
  // (comments and processing instructions excluded).
  std::u16string text() const;
  // The same text as UTF-8, without conversion: a view into the tree when
  // the node holds one piece of text, else gathered into `gathered`. Valid
  // until the tree or `gathered` changes.
  std::string_view textUtf8(std::string& gathered) const;
  // Replaces the children of an element by one text node holding `value`
  // (none when it is empty); on a text node, replaces its text.
  void setText(std::u16string_view value);

  // The value of the named attribute, or none when the element has no such
  // attribute (or this is not an element).
  std::optional<std::u16string> getAttribute(std::u16string_view name) const;
  void setAttribute(std::u16string_view name, std::u16string_view value);
  // The value of the attribute whose prefix is bound to `namespaceUri` (by an
  // xmlns declaration on this element or an ancestor) and whose local name is
  // `localName`, whatever the prefix; none when there is no such attribute.
  std::optional<std::u16string> getAttributeNS(std::u16string_view namespaceUri,
                                               std::u16string_view localName) const;

  Node selectSingleNode(std::u16string_view query) const;
  NodeList selectNodes(std::u16string_view query) const;
  NodeList childNodes() const;
  // The children one by one, in the order childNodes() lists them; none
  // after the last.
  Node firstChild() const;
  Node nextSibling() const;

  // Moves `child` (a node made by the same document, or one of its nodes
  // elsewhere in the tree) to the end of this element's children.
  Node appendChild(Node child);
  // Makes a new element, or text node, the last child of this element: the
  // same as creating it in the document and appending it, in one step.
  Node appendElement(std::u16string_view name);
  void appendText(std::u16string_view text);
  // Takes this node's children from the first up to and including `child`
  // out of the tree and frees them with their subtrees, for a reader done
  // with them that wants their memory back while it goes on; handles to
  // them or into them must not be used again. Nothing when `child` is not
  // a child of this node.
  void removeChildrenThrough(const Node& child) noexcept;

 private:
  friend class Document;
  friend class NodeList;
  friend class StreamWriter;
  explicit Node(pugi::xml_node_struct* node) : node_(node) {}

  pugi::xml_node_struct* node_ = nullptr;
};

class NodeList {
 public:
  size_t length() const { return nodes_.size(); }
  // The node at a zero-based index; none past the end.
  Node item(size_t index) const { return index < nodes_.size() ? Node(nodes_[index]) : Node(); }

 private:
  friend class Node;
  std::vector<pugi::xml_node_struct*> nodes_;
};

}  // namespace qx::xml

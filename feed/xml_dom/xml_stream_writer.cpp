#include "feed/xml_dom/xml_stream_writer.h"

#include <pugixml.hpp>

#include "feed/xml_dom/xml_tree_internal.h"
#include "qxnet/text.h"

namespace qx::xml {

using internal::GuardAllocation;

StreamWriter::StreamWriter(std::u16string_view fileName, const SaveOptions& options,
                           Document& scratch)
    : file_(internal::SavePath(fileName), options.newFileMode), scratch_(scratch) {}

void StreamWriter::Declaration(std::u16string_view data) {
  // Checked and printed as the document's own declaration would be.
  Write(scratch_.createProcessingInstruction(u"xml", data));
}

void StreamWriter::Tag(std::u16string_view opening, std::u16string_view name) {
  const std::string utf8 = internal::ValidElementName(name);
  GuardAllocation([&] {
    const std::string text = Utf16ToUtf8(opening) + utf8 + ">";
    file_.Write(text.data(), text.size());
  });
}

void StreamWriter::StartElement(std::u16string_view name) {
  Tag(u"<", name);
  ++depth_;
}

void StreamWriter::EndElement(std::u16string_view name) {
  Tag(u"</", name);
  if (--depth_ == 0) file_.Write("\r\n", 2);
}

void StreamWriter::Whitespace(std::u16string_view text) {
  const std::string utf8 = GuardAllocation([&] { return Utf16ToUtf8(text); });
  file_.Write(utf8.data(), utf8.size());
}

void StreamWriter::Element(Node element) {
  if (element.nodeType() != NodeType::kElement) {
    throw DomError(u"Only an element can be written here.", E_INVALIDARG);
  }
  Write(element);
}

void StreamWriter::Write(Node made) {
  pugi::xml_node node(made.node_);
  if (!node || node.root() != scratch_.doc_->root()) {
    throw DomError(u"The node belongs to another document.", E_INVALIDARG);
  }
  GuardAllocation([&] {
    internal::OutputWriter writer(&file_);
    node.print(writer, "", internal::kSaveFormat, pugi::encoding_utf8);
  });
  if (depth_ == 0) file_.Write("\r\n", 2);
  node.parent().remove_child(node);
}

void StreamWriter::TextElement(std::u16string_view name, std::u16string_view text) {
  Node element = scratch_.createElement(name);
  element.appendText(text);
  Element(element);
}

void StreamWriter::Commit() {
  GuardAllocation([&] { file_.Commit(); });
}

}  // namespace qx::xml

// Writes an XML file piece by piece, byte for byte as Document::save writes
// the same tree, so that a large document is never held whole: tags and
// whitespace are written as they come, and each element with content is
// built in a small scratch document, written, and dropped. The file is
// replaced atomically on Commit, as by save.
#pragma once

#include <string_view>

#include "feed/xml_dom/atomic_file_writer.h"
#include "feed/xml_dom/xml_document.h"

namespace qx::xml {

class StreamWriter {
 public:
  // Elements are made in `scratch`, a document of the caller's (whose
  // creation can fail on its own, before any file is touched). Throws
  // DomError.
  StreamWriter(std::u16string_view fileName, const SaveOptions& options, Document& scratch);

  // The XML declaration "<?xml data?>" as the first top-level node.
  void Declaration(std::u16string_view data);
  // The start and end tag of an element whose content follows piece by
  // piece; the end tag of the top-level element ends its line.
  void StartElement(std::u16string_view name);
  void EndElement(std::u16string_view name);
  // Whitespace between elements (written as it is).
  void Whitespace(std::u16string_view text);

  // Where the elements given to Element() are made.
  Document& Scratch() { return scratch_; }
  // Writes an element made by Scratch() (with its attributes and content)
  // and drops it.
  void Element(Node element);
  // An element holding only `text`.
  void TextElement(std::u16string_view name, std::u16string_view text);

  // Replaces the file with what was written; throws DomError.
  void Commit();

 private:
  void Tag(std::u16string_view opening, std::u16string_view name);
  // Prints a node made by the scratch document and drops it.
  void Write(Node made);

  AtomicFileWriter file_;
  Document& scratch_;
  int depth_ = 0;
};

}  // namespace qx::xml

// An XML document, read from and written to files.
//
// Loading reads the file in UTF-8, UTF-16 or UTF-32 (with or without byte
// order mark) or in the 8-bit encoding its declaration names. It never
// fetches anything: a DOCTYPE is skipped, its entity definitions are neither
// read nor expanded, and a reference to an entity other than the five
// predefined ones and character references stays in the text as written.
// Whitespace between elements is kept as text nodes. Deeply nested documents
// are handled without deep recursion.
//
// Saving writes UTF-8 without byte order mark: the top-level nodes, each
// followed by CR LF, with no other whitespace than the document's own text
// nodes. The file is replaced atomically.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "feed/xml_dom/dom_error.h"
#include "feed/xml_dom/xml_node.h"

namespace pugi {
class xml_document;
}

namespace qx::xml {

struct SaveOptions {
  // Mode of the file when it does not exist yet (for example 0600); by
  // default 0666 less the umask. An existing file always keeps its mode.
  std::optional<mode_t> newFileMode;
};

class Document {
 public:
  // Throws DomError (E_OUTOFMEMORY) when no document can be made.
  Document();
  ~Document();
  Document(const Document&) = delete;
  Document& operator=(const Document&) = delete;

  // Replaces the content with the file's. Returns false, and sets
  // parseError(), when the file cannot be read, is larger than `maxBytes`
  // (refused before it is read, with a reason naming the file and the
  // limit) or is not well-formed XML; the document is then empty. Never
  // throws.
  bool load(std::u16string_view fileName, uint64_t maxBytes = UINT64_MAX);
  // The same from bytes in memory.
  bool loadXml(std::string bytes);
  const ParseError& parseError() const { return parse_error_; }

  // The top-level element, or none.
  Node documentElement() const;

  // New nodes belong to the document but are in no tree until appended.
  Node createElement(std::u16string_view name);
  Node createTextNode(std::u16string_view text);
  // A processing instruction; target "xml" makes the XML declaration, whose
  // data may name no encoding but UTF-8 (the document is saved in UTF-8).
  Node createProcessingInstruction(std::u16string_view target, std::u16string_view data);

  // Appends a top-level node: the declaration (only as the first node),
  // other processing instructions, and one element.
  Node appendChild(Node child);

  // The document as text, as save() writes it.
  std::string xml() const;
  // Writes the document to the file atomically; throws DomError.
  void save(std::u16string_view fileName, const SaveOptions& options = {}) const;

 private:
  // Gives the input text as it was before parsing, for the position of a
  // fault.
  using OriginalText = std::function<std::string()>;

  void Reset();
  void OutOfMemory();
  // Parses `bytes`; with `reread` (which gives the text again), in place.
  bool Parse(std::string bytes, const OriginalText& reread);
  bool Fail(const OriginalText& original, size_t offset, std::u16string reason, HRESULT code);
  bool CheckTopLevel(const OriginalText& original, size_t size);
  Node Detached(int type, std::u16string_view name, std::u16string_view value);

  friend class StreamWriter;

  // The text a loaded file was parsed in place from; the tree points into
  // it, so it lives as long as the tree.
  std::string text_;
  std::unique_ptr<pugi::xml_document> doc_;
  ParseError parse_error_;
};

}  // namespace qx::xml

#include "feed/xml_dom/xml_document.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <pugixml.hpp>

#include <cerrno>
#include <cstring>
#include <functional>
#include <string>
#include <utility>

#include "feed/xml_dom/atomic_file_writer.h"
#include "feed/xml_dom/errno_result.h"
#include "feed/xml_dom/xml_input_decoding.h"
#include "feed/xml_dom/xml_tree_internal.h"
#include "qxnet/text.h"

namespace qx::xml {
namespace {

using internal::GuardAllocation;

// Comments, processing instructions and the DOCTYPE are skipped; entity
// definitions are never read, so nothing is expanded or fetched. Whitespace
// text is kept, as the DOM's text of an element includes it. A fragment
// parse keeps text found outside the root, so that it can be refused below.
constexpr unsigned kParseOptions = pugi::parse_cdata | pugi::parse_escapes |
                                   pugi::parse_wconv_attribute | pugi::parse_eol |
                                   pugi::parse_ws_pcdata | pugi::parse_fragment;

struct FileBytes {
  std::string bytes;
  int error = 0;
  const char* what = nullptr;
};

// Reads a whole regular file of at most `maxBytes` bytes. Opening does not
// block on pipes or devices, which are refused.
FileBytes ReadRegularFile(const std::string& path, uint64_t maxBytes) {
  FileBytes result;
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) {
    result.error = errno;
    result.what = "The file cannot be opened";
    return result;
  }
  struct stat st {};
  if (fstat(fd, &st) != 0) {
    result.error = errno;
    result.what = "The file cannot be examined";
  } else if (S_ISDIR(st.st_mode)) {
    result.error = EISDIR;
    result.what = "The file cannot be read";
  } else if (!S_ISREG(st.st_mode)) {
    result.error = EINVAL;
    result.what = "The path does not name a regular file";
  } else if (static_cast<uint64_t>(st.st_size) > maxBytes) {
    result.error = EFBIG;
  }
  if (result.error == 0) {
    try {
      result.bytes.reserve(static_cast<size_t>(st.st_size) + 1);
      char chunk[65536];
      for (;;) {
        const ssize_t n = read(fd, chunk, sizeof chunk);
        if (n < 0) {
          if (errno == EINTR) continue;
          result.error = errno;
          result.what = "The file cannot be read";
          break;
        }
        if (n == 0) break;
        // A file that grew after it was examined is refused as well.
        if (result.bytes.size() + static_cast<uint64_t>(n) > maxBytes) {
          result.error = EFBIG;
          break;
        }
        result.bytes.append(chunk, static_cast<size_t>(n));
      }
    } catch (const std::bad_alloc&) {
      result.error = ENOMEM;
      result.what = "The file cannot be read";
    }
  }
  close(fd);
  if (result.error != 0) std::string().swap(result.bytes);
  return result;
}

bool IsWhitespace(const char* text) {
  for (; *text; ++text) {
    if (*text != ' ' && *text != '\t' && *text != '\r' && *text != '\n') return false;
  }
  return true;
}

void Serialise(const pugi::xml_document& doc, pugi::xml_writer& writer) {
  for (pugi::xml_node node = doc.first_child(); node; node = node.next_sibling()) {
    if (internal::IsDetachedHolder(node)) continue;
    node.print(writer, "", internal::kSaveFormat, pugi::encoding_utf8);
    writer.write("\r\n", 2);
  }
}

}  // namespace

Document::Document() {
  try {
    doc_ = std::make_unique<pugi::xml_document>();
  } catch (const std::bad_alloc&) {
    throw DomError(u"Not enough memory to create an XML document.", E_OUTOFMEMORY);
  }
}

Document::~Document() = default;

void Document::Reset() {
  doc_->reset();
  std::string().swap(text_);
  parse_error_ = ParseError();
}

bool Document::Fail(const OriginalText& original, size_t offset, std::u16string reason,
                    HRESULT code) {
  const TextPosition position = PositionOfByte(original(), offset);
  doc_->reset();
  std::string().swap(text_);
  parse_error_.errorCode = code;
  parse_error_.reason = std::move(reason);
  parse_error_.filepos = position.filepos;
  parse_error_.line = position.line;
  parse_error_.linepos = position.linepos;
  return false;
}

bool Document::load(std::u16string_view fileName, uint64_t maxBytes) {
  try {
    Reset();
    const std::string path = Utf16ToUtf8(fileName);
    if (path.empty() || path.find('\0') != std::string::npos) {
      parse_error_.errorCode = E_INVALIDARG;
      parse_error_.reason = u"The file name is not valid.";
      return false;
    }
    FileBytes file = ReadRegularFile(path, maxBytes);
    if (file.error == EFBIG) {
      parse_error_.errorCode = HResultFromErrno(EFBIG);
      parse_error_.reason = Utf8ToUtf16("The file " + path + " is larger than the limit of " +
                                        std::to_string(maxBytes) + " bytes.");
      return false;
    }
    if (file.error != 0) {
      parse_error_.errorCode = HResultFromErrno(file.error);
      parse_error_.reason =
          Utf8ToUtf16(std::string(file.what) + ": " + ErrnoText(file.error) + ".");
      return false;
    }
    // Parsed in place; only a failure reads the file again, for the
    // position of the fault in the text as it was.
    return Parse(std::move(file.bytes),
                 [&] { return DecodeXmlInput(ReadRegularFile(path, maxBytes).bytes).utf8; });
  } catch (const std::bad_alloc&) {
    OutOfMemory();
    return false;
  }
}

bool Document::loadXml(std::string bytes) {
  try {
    return Parse(std::move(bytes), nullptr);
  } catch (const std::bad_alloc&) {
    OutOfMemory();
    return false;
  }
}

void Document::OutOfMemory() {
  doc_->reset();
  std::string().swap(text_);
  parse_error_ = ParseError();
  parse_error_.errorCode = E_OUTOFMEMORY;
  parse_error_.reason = u"Not enough memory to load the document.";
}

bool Document::Parse(std::string bytes, const OriginalText& reread) {
  Reset();
  DecodedXml decoded = DecodeXmlInput(std::move(bytes));
  if (!decoded.ok) {
    return Fail([&] { return decoded.utf8; }, decoded.errorOffset, decoded.reason, E_FAIL);
  }
  // With a way to get the text again, pugixml parses the text where it is
  // (which changes it) instead of a copy of it.
  const OriginalText original = reread ? reread : OriginalText([&] { return decoded.utf8; });
  pugi::xml_parse_result result;
  size_t size = decoded.utf8.size();
  if (reread) {
    text_ = std::move(decoded.utf8);
    result =
        doc_->load_buffer_inplace(text_.data(), text_.size(), kParseOptions, pugi::encoding_utf8);
  } else {
    result = doc_->load_buffer(decoded.utf8.data(), decoded.utf8.size(), kParseOptions,
                               pugi::encoding_utf8);
  }
  if (!result) {
    return Fail(original, static_cast<size_t>(result.offset), Utf8ToUtf16(result.description()),
                result.status == pugi::status_out_of_memory ? E_OUTOFMEMORY : E_FAIL);
  }
  return CheckTopLevel(original, size);
}

// The parser accepts a fragment; a document has exactly one top-level
// element and no text outside it but whitespace.
bool Document::CheckTopLevel(const OriginalText& original, size_t size) {
  auto offset_of = [&](pugi::xml_node node) {
    const ptrdiff_t offset = node.offset_debug();
    return offset < 0 ? size : static_cast<size_t>(offset);
  };
  pugi::xml_node element;
  for (pugi::xml_node node = doc_->first_child(); node;) {
    const pugi::xml_node next = node.next_sibling();
    switch (node.type()) {
      case pugi::node_element:
        if (element) {
          return Fail(original, offset_of(node),
                      u"Only one top level element is allowed in an XML document", E_FAIL);
        }
        element = node;
        break;
      case pugi::node_pcdata:
        if (!IsWhitespace(node.value())) {
          return Fail(original, offset_of(node),
                      u"Text is not allowed outside the top level element", E_FAIL);
        }
        doc_->remove_child(node);
        break;
      case pugi::node_cdata:
        return Fail(original, offset_of(node), u"Text is not allowed outside the top level element",
                    E_FAIL);
      default:
        break;
    }
    node = next;
  }
  if (!element) return Fail(original, size, u"No document element found", E_FAIL);
  return true;
}

Node Document::documentElement() const {
  for (pugi::xml_node node = doc_->first_child(); node; node = node.next_sibling()) {
    if (node.type() == pugi::node_element && !internal::IsDetachedHolder(node)) {
      return Node(node.internal_object());
    }
  }
  return Node();
}

Node Document::Detached(int type, std::u16string_view name, std::u16string_view value) {
  return GuardAllocation([&] {
    pugi::xml_node holder;
    for (pugi::xml_node node = doc_->first_child(); node && !holder; node = node.next_sibling()) {
      if (internal::IsDetachedHolder(node)) holder = node;
    }
    if (!holder) {
      holder = doc_->append_child(internal::kDetachedHolderName);
      if (!holder) throw std::bad_alloc();
    }
    pugi::xml_node node = holder.append_child(static_cast<pugi::xml_node_type>(type));
    if (!node) throw std::bad_alloc();
    if (!name.empty() && !node.set_name(Utf16ToUtf8(name).c_str())) throw std::bad_alloc();
    if (!value.empty() && !node.set_value(internal::ToTreeText(value).c_str())) {
      throw std::bad_alloc();
    }
    return Node(node.internal_object());
  });
}

Node Document::createElement(std::u16string_view name) {
  internal::ValidElementName(name);
  return Detached(pugi::node_element, name, {});
}

Node Document::createTextNode(std::u16string_view text) {
  return Detached(pugi::node_pcdata, {}, text);
}

Node Document::createProcessingInstruction(std::u16string_view target, std::u16string_view data) {
  const std::string name = Utf16ToUtf8(target);
  const std::string content = Utf16ToUtf8(data);
  if (!internal::IsValidXmlName(name)) {
    throw DomError(
        u"\"" + std::u16string(target) + u"\" is not a valid processing instruction target.",
        E_INVALIDARG);
  }
  if (content.find("?>") != std::string::npos) {
    throw DomError(u"A processing instruction cannot contain \"?>\".", E_INVALIDARG);
  }
  if (name == "xml") {
    const auto encoding = EncodingPseudoAttribute(content);
    if (encoding && strcasecmp(encoding->c_str(), "UTF-8") != 0 &&
        strcasecmp(encoding->c_str(), "UTF8") != 0) {
      throw DomError(u"The declaration names the encoding \"" + Utf8ToUtf16(*encoding) +
                         u"\", but documents are saved in UTF-8.",
                     E_INVALIDARG);
    }
  }
  return Detached(pugi::node_pi, target, data);
}

Node Document::appendChild(Node child) {
  pugi::xml_node moved(child.node_);
  if (!moved) throw DomError(u"No node was given to append.", E_POINTER);
  if (moved.root() != doc_->root()) {
    throw DomError(u"The node belongs to another document.", E_INVALIDARG);
  }
  if (internal::IsDetachedHolder(moved)) {
    throw DomError(u"This kind of node cannot be inserted here.", E_FAIL);
  }
  bool has_nodes = false;
  bool has_element = false;
  for (pugi::xml_node node = doc_->first_child(); node; node = node.next_sibling()) {
    if (internal::IsDetachedHolder(node) || node == moved) continue;
    has_nodes = true;
    has_element = has_element || node.type() == pugi::node_element;
  }
  switch (moved.type()) {
    case pugi::node_element:
      if (has_element) {
        throw DomError(u"Only one top level element is allowed in an XML document.", E_FAIL);
      }
      break;
    case pugi::node_pi:
      if (std::strcmp(moved.name(), "xml") == 0 && has_nodes) {
        throw DomError(u"The XML declaration must be the first node of the document.", E_FAIL);
      }
      break;
    case pugi::node_comment:
      break;
    default:
      throw DomError(u"This kind of node cannot be inserted at the top level of a document.",
                     E_FAIL);
  }
  return GuardAllocation([&] {
    if (!doc_->append_move(moved)) throw DomError(u"The node cannot be inserted here.", E_FAIL);
    return child;
  });
}

std::string Document::xml() const {
  return GuardAllocation([&] {
    std::string text;
    internal::OutputWriter writer(&text);
    Serialise(*doc_, writer);
    return text;
  });
}

void Document::save(std::u16string_view fileName, const SaveOptions& options) const {
  if (!documentElement()) {
    throw DomError(u"The document has no top level element to save.", E_FAIL);
  }
  const std::string path = internal::SavePath(fileName);
  GuardAllocation([&] {
    AtomicFileWriter file(path, options.newFileMode);
    internal::OutputWriter writer(&file);
    Serialise(*doc_, writer);
    file.Commit();
  });
}

}  // namespace qx::xml

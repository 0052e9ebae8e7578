// Helpers shared by the node and document implementations (not part of the
// DOM layer's interface).
#pragma once

#include <pugixml.hpp>

#include <new>
#include <string>
#include <string_view>

#include "feed/xml_dom/atomic_file_writer.h"
#include "feed/xml_dom/dom_error.h"

namespace qx::xml::internal {

// Name of the hidden top-level element that holds created nodes until they
// are appended; it is not a valid XML name, so no parsed or created element
// can carry it.
inline constexpr const char* kDetachedHolderName = "#detached";

bool IsDetachedHolder(pugi::xml_node node);

// How nodes are written: no whitespace of the writer's own, and no empty
// element tags.
inline constexpr unsigned kSaveFormat = pugi::format_raw | pugi::format_no_empty_element_tags;

// Hands pugixml's output to a string or to a file being replaced.
class OutputWriter : public pugi::xml_writer {
 public:
  explicit OutputWriter(std::string* out) : out_(out) {}
  explicit OutputWriter(AtomicFileWriter* file) : file_(file) {}
  void write(const void* data, size_t size) override {
    if (out_ != nullptr) out_->append(static_cast<const char*>(data), size);
    if (file_ != nullptr) file_->Write(data, size);
  }

 private:
  std::string* out_ = nullptr;
  AtomicFileWriter* file_ = nullptr;
};

// The UTF-8 path of a file to save to; throws DomError for an empty name
// or one holding U+0000.
std::string SavePath(std::u16string_view fileName);

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

// The first child element of each of a few names, found in one pass over an
// element's children with each child's name read once: what a "./name"
// query per name finds, without walking the children once per name.
#pragma once

#include <array>
#include <cstddef>
#include <cstring>
#include <string_view>

#include "feed/xml_dom/xml_node.h"

namespace qx::xml {

// Whether an element name as the tree holds it (elementNameUtf8) is
// `wanted`, compared without measuring it first: most names differ in
// their first byte. `wanted` is not empty.
inline bool IsElementName(const char* name, std::string_view wanted) {
  return name[0] == wanted[0] && std::strncmp(name, wanted.data(), wanted.size()) == 0 &&
         name[wanted.size()] == '\0';
}

template <size_t N>
class FirstChildElements {
 public:
  // The names as UTF-8, as the tree holds them; none is empty.
  explicit FirstChildElements(const std::array<std::string_view, N>& names) : names_(names) {}

  // Looks at one child; answers whether it is an element of one of the
  // names (the first of each name is kept).
  bool offer(const Node& child) {
    const char* name = child.elementNameUtf8();
    if (name[0] == '\0') return false;
    for (size_t i = 0; i < N; ++i) {
      if (!IsElementName(name, names_[i])) continue;
      if (!found_[i]) found_[i] = child;
      return true;
    }
    return false;
  }
  // Looks at every child of `parent`. Throws DomError.
  void collect(const Node& parent) {
    for (Node child = parent.firstChild(); child; child = child.nextSibling()) offer(child);
  }

  // The first child of the name at `index` of the list; none when absent.
  const Node& operator[](size_t index) const { return found_[index]; }

 private:
  std::array<std::string_view, N> names_;
  std::array<Node, N> found_{};
};

}  // namespace qx::xml

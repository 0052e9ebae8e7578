#include "feed/xml_dom/xml_tree_internal.h"

#include <cstring>

#include "qxnet/text.h"

namespace qx::xml::internal {

bool IsDetachedHolder(pugi::xml_node node) {
  return node.type() == pugi::node_element && node.parent().type() == pugi::node_document &&
         std::strcmp(node.name(), kDetachedHolderName) == 0;
}

bool IsValidXmlName(std::string_view name) {
  if (name.empty()) return false;
  auto start_char = [](unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':' || c >= 0x80;
  };
  if (!start_char(static_cast<unsigned char>(name[0]))) return false;
  for (char ch : name) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (!start_char(c) && !(c >= '0' && c <= '9') && c != '-' && c != '.') return false;
  }
  return true;
}

std::string SavePath(std::u16string_view fileName) {
  std::string path = GuardAllocation([&] { return Utf16ToUtf8(fileName); });
  if (path.empty() || path.find('\0') != std::string::npos) {
    throw DomError(u"The file name is not valid.", E_INVALIDARG);
  }
  return path;
}

std::string ValidElementName(std::u16string_view name) {
  std::string utf8 = GuardAllocation([&] { return Utf16ToUtf8(name); });
  if (!IsValidXmlName(utf8)) {
    throw DomError(u"\"" + std::u16string(name) + u"\" is not a valid element name.", E_INVALIDARG);
  }
  return utf8;
}

std::string ToTreeText(std::u16string_view text) {
  std::string utf8 = Utf16ToUtf8(text);
  if (utf8.find('\0') != std::string::npos) {
    std::string cleaned;
    cleaned.reserve(utf8.size());
    for (char c : utf8) {
      if (c != '\0') cleaned.push_back(c);
    }
    utf8.swap(cleaned);
  }
  return utf8;
}

void RemoveChildren(pugi::xml_node parent) {
  // Removing only leaves keeps pugixml from recursing through deep subtrees.
  pugi::xml_node node = parent.last_child();
  while (node) {
    while (node.last_child()) node = node.last_child();
    pugi::xml_node up = node.parent();
    up.remove_child(node);
    node = up == parent ? parent.last_child() : up;
  }
}

}  // namespace qx::xml::internal

#include "platform/registry/key_path.h"

#include "qxnet/text.h"

namespace qx::registry {

namespace {

char16_t FoldChar(char16_t c) {
  if (c < 0x80) return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 0x20) : c;
  // Latin-1 capitals (except the multiplication sign).
  if (c >= 0x00C0 && c <= 0x00DE && c != 0x00D7) return static_cast<char16_t>(c + 0x20);
  // Greek capitals (0x03A2 is unassigned).
  if (c >= 0x0391 && c <= 0x03AB && c != 0x03A2) return static_cast<char16_t>(c + 0x20);
  // Cyrillic capitals.
  if (c >= 0x0410 && c <= 0x042F) return static_cast<char16_t>(c + 0x20);
  if (c >= 0x0400 && c <= 0x040F) return static_cast<char16_t>(c + 0x50);
  return c;
}

}  // namespace

std::u16string FoldCase(std::u16string_view text) {
  std::u16string out(text);
  for (char16_t& c : out) c = FoldChar(c);
  return out;
}

LSTATUS AppendSubkeyPath(const KeyLocation& base, std::u16string_view relative, KeyLocation& out) {
  out = base;
  if (!relative.empty() && relative.back() == u'\\') relative.remove_suffix(1);
  if (relative.empty()) return ERROR_SUCCESS;
  size_t start = 0;
  while (start <= relative.size()) {
    size_t end = relative.find(u'\\', start);
    if (end == std::u16string_view::npos) end = relative.size();
    const std::u16string_view name = relative.substr(start, end - start);
    if (name.empty() || name.size() > kMaxKeyNameLength) return ERROR_INVALID_PARAMETER;
    if (!out.folded.empty()) {
      out.folded.push_back('\\');
      out.display.push_back('\\');
    }
    out.folded += Utf16ToUtf8(FoldCase(name));
    out.display += Utf16ToUtf8(name);
    start = end + 1;
  }
  return ERROR_SUCCESS;
}

std::string FoldedValueName(std::u16string_view name) { return Utf16ToUtf8(FoldCase(name)); }

std::string ParentPath(std::string_view path) {
  const size_t cut = path.rfind('\\');
  return cut == std::string_view::npos ? std::string() : std::string(path.substr(0, cut));
}

std::string LastName(std::string_view path) {
  const size_t cut = path.rfind('\\');
  return std::string(cut == std::string_view::npos ? path : path.substr(cut + 1));
}

}  // namespace qx::registry

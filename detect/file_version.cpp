#include "detect/file_version.h"

#include <cstdio>
#include <optional>

#include "detect/pe_version_reader.h"
#include "qxnet/text.h"

namespace qx::detect {

namespace {

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }

// The path as a buffer of kFileVersionPathCapacity characters holds it:
// at most capacity - 1 characters, never ending in half a surrogate pair.
std::u16string_view CutPath(std::u16string_view path) {
  const size_t limit = kFileVersionPathCapacity - 1;
  if (path.size() <= limit) return path;
  size_t length = limit;
  if (IsHighSurrogate(path[length - 1])) --length;
  return path.substr(0, length);
}

std::u16string FileVersionKey(const Translation& translation) {
  char key[64];
  std::snprintf(key, sizeof key, "\\StringFileInfo\\%04x%04x\\FileVersion",
                unsigned{translation.language}, unsigned{translation.codePage});
  return Utf8ToUtf16(key);
}

}  // namespace

std::u16string CutAtThirdFullStop(std::u16string_view text) {
  size_t stops = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'.' && ++stops == 3) return std::u16string(text.substr(0, i));
  }
  return std::u16string(text);
}

std::u16string GetFileVersionString(std::u16string_view path) {
  const std::u16string_view cut = CutPath(path);
  // A path holding a zero character names nothing the file system has.
  if (cut.find(u'\0') != std::u16string_view::npos) return {};
  const std::optional<VersionInfoBlock> info = ReadFileVersionInfo(Utf16ToUtf8(cut));
  if (!info) return {};
  for (const Translation& translation : info->Translations()) {
    if (std::optional<std::u16string> value = info->QueryString(FileVersionKey(translation))) {
      return CutAtThirdFullStop(*value);
    }
  }
  return {};
}

}  // namespace qx::detect

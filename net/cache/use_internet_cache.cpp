// The machine-wide switch of the internet cache: the registry text value
// "Use Internet Cache". Only a readable text equal to "false" (any case)
// switches the cache off.
#include "net/qxnet.h"

namespace qx {

namespace {

constexpr char16_t kInternalKey[] = u"SOFTWARE\\Corvane\\Corvane\\Internal";
constexpr char16_t kUseCacheValue[] = u"Use Internet Cache";
// The value must fit, terminator included, in this many characters.
constexpr DWORD kValueCapacity = 255;

bool IsFalseText(std::u16string_view text) {
  static constexpr std::u16string_view kFalse = u"false";
  if (text.size() != kFalse.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    if (c != kFalse[i]) return false;
  }
  return true;
}

// Closes a registry key on every path.
class KeyCloser {
 public:
  explicit KeyCloser(HKEY key) : key_(key) {}
  ~KeyCloser() { RegCloseKey(key_); }
  KeyCloser(const KeyCloser&) = delete;
  KeyCloser& operator=(const KeyCloser&) = delete;

 private:
  HKEY key_;
};

}  // namespace

bool CQXNet::UseInternetCache() {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kInternalKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return true;
  }
  KeyCloser closer(key);
  char16_t text[kValueCapacity] = {};
  DWORD type = REG_NONE;
  DWORD size = sizeof(text);
  if (RegQueryValueExW(key, kUseCacheValue, nullptr, &type, reinterpret_cast<BYTE*>(text),
                       &size) != ERROR_SUCCESS) {
    return true;
  }
  if (type != REG_SZ && type != REG_EXPAND_SZ && type != REG_MULTI_SZ) return true;
  std::u16string_view value(text, size / sizeof(char16_t));
  // The text ends at its first terminator (a multi-string's first string).
  if (const size_t end = value.find(u'\0'); end != std::u16string_view::npos) {
    value = value.substr(0, end);
  } else if (value.size() + 1 > kValueCapacity) {
    return true;  // no room left for the terminator
  }
  return !IsFalseText(value);
}

}  // namespace qx

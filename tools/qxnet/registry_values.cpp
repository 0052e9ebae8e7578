#include "tools/qxnet/registry_values.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "qxnet/text.h"
#include "tools/qxnet/cli_errors.h"

namespace qxcli {

namespace {

std::string Upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}

// UTF-16 text of stored bytes (little-endian pairs), up to the end.
std::u16string WideOf(const std::vector<BYTE>& bytes) {
  std::u16string text(bytes.size() / 2, u'\0');
  if (!text.empty()) std::memcpy(text.data(), bytes.data(), text.size() * 2);
  return text;
}

void AppendWide(std::vector<BYTE>& out, const std::string& utf8) {
  const std::u16string wide = qx::Utf8ToUtf16(utf8);
  const auto* raw = reinterpret_cast<const BYTE*>(wide.data());
  out.insert(out.end(), raw, raw + wide.size() * 2);
  out.push_back(0);
  out.push_back(0);
}

std::vector<std::string> MultiStrings(const std::vector<BYTE>& bytes) {
  std::vector<std::string> list;
  const std::u16string text = WideOf(bytes);
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(u'\0', start);
    if (end == std::u16string::npos) end = text.size();
    if (end == start) break;  // the closing empty string
    list.push_back(qx::Utf16ToUtf8(std::u16string_view(text).substr(start, end - start)));
    start = end + 1;
  }
  return list;
}

std::string StringValue(const std::vector<BYTE>& bytes) {
  std::u16string text = WideOf(bytes);
  const size_t end = text.find(u'\0');
  if (end != std::u16string::npos) text.resize(end);
  return qx::Utf16ToUtf8(text);
}

uint64_t ParseNumber(const std::string& text, uint64_t max, const char* type) {
  if (text.empty() || text.front() == '-' || text.front() == '+')
    throw UsageError(std::string(type) + " data must be a non-negative number: '" + text + "'");
  size_t used = 0;
  unsigned long long value = 0;
  try {
    value = std::stoull(text, &used, 0);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used != text.size() || value > max)
    throw UsageError(std::string(type) + " data out of range or not a number: '" + text + "'");
  return value;
}

std::string Hex(const std::vector<BYTE>& bytes) {
  std::string text;
  char pair[4];
  for (size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(pair, sizeof pair, i ? " %02x" : "%02x", bytes[i]);
    text += pair;
  }
  return text;
}

template <class T>
T LittleEndian(const std::vector<BYTE>& bytes) {
  T value = 0;
  for (size_t i = 0; i < sizeof(T) && i < bytes.size(); ++i)
    value |= static_cast<T>(bytes[i]) << (8 * i);
  return value;
}

}  // namespace

KeyPath ParseKeyPath(const std::string& text) {
  std::string path = text;
  std::replace(path.begin(), path.end(), '/', '\\');
  const size_t split = path.find('\\');
  const std::string root = Upper(path.substr(0, split));
  KeyPath key;
  if (root == "HKCR" || root == "HKEY_CLASSES_ROOT") {
    key.root = HKEY_CLASSES_ROOT;
    key.root_name = "HKCR";
  } else if (root == "HKCU" || root == "HKEY_CURRENT_USER") {
    key.root = HKEY_CURRENT_USER;
    key.root_name = "HKCU";
  } else if (root == "HKLM" || root == "HKEY_LOCAL_MACHINE") {
    key.root = HKEY_LOCAL_MACHINE;
    key.root_name = "HKLM";
  } else {
    throw UsageError("Unknown registry root '" + path.substr(0, split) +
                     "' (use HKCR, HKCU or HKLM)");
  }
  if (split != std::string::npos) key.subkey = path.substr(split + 1);
  while (!key.subkey.empty() && key.subkey.back() == '\\') key.subkey.pop_back();
  return key;
}

DWORD ValueTypeFromName(const std::string& name) {
  const std::string upper = Upper(name);
  if (upper == "REG_SZ") return REG_SZ;
  if (upper == "REG_EXPAND_SZ") return REG_EXPAND_SZ;
  if (upper == "REG_MULTI_SZ") return REG_MULTI_SZ;
  if (upper == "REG_DWORD") return REG_DWORD;
  if (upper == "REG_QWORD") return REG_QWORD;
  if (upper == "REG_BINARY") return REG_BINARY;
  if (upper == "REG_NONE") return REG_NONE;
  throw UsageError("Unknown value type '" + name +
                   "' (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD, REG_QWORD, REG_BINARY, "
                   "REG_NONE)");
}

std::string ValueTypeName(DWORD type) {
  switch (type) {
    case REG_NONE:
      return "REG_NONE";
    case REG_SZ:
      return "REG_SZ";
    case REG_EXPAND_SZ:
      return "REG_EXPAND_SZ";
    case REG_BINARY:
      return "REG_BINARY";
    case REG_DWORD:
      return "REG_DWORD";
    case REG_MULTI_SZ:
      return "REG_MULTI_SZ";
    case REG_QWORD:
      return "REG_QWORD";
    default:
      return "type " + std::to_string(type);
  }
}

std::vector<BYTE> EncodeValue(DWORD type, const std::vector<std::string>& data) {
  std::vector<BYTE> bytes;
  if (type != REG_MULTI_SZ && data.size() > 1)
    throw UsageError("Only REG_MULTI_SZ takes more than one --data");
  const std::string single = data.empty() ? std::string() : data.front();
  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
      AppendWide(bytes, single);
      break;
    case REG_MULTI_SZ:
      for (const std::string& item : data) {
        if (item.empty()) throw UsageError("REG_MULTI_SZ strings cannot be empty");
        AppendWide(bytes, item);
      }
      bytes.push_back(0);
      bytes.push_back(0);
      break;
    case REG_DWORD: {
      const auto value = static_cast<uint32_t>(ParseNumber(single, 0xFFFFFFFFull, "REG_DWORD"));
      for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<BYTE>(value >> (8 * i)));
      break;
    }
    case REG_QWORD: {
      const uint64_t value = ParseNumber(single, ~0ull, "REG_QWORD");
      for (int i = 0; i < 8; ++i) bytes.push_back(static_cast<BYTE>(value >> (8 * i)));
      break;
    }
    default: {  // REG_BINARY, REG_NONE
      std::string digits;
      for (char c : single) {
        if (std::isxdigit(static_cast<unsigned char>(c)))
          digits += c;
        else if (c != ' ' && c != ',' && c != ':')
          throw UsageError("Binary data must be hex digits: '" + single + "'");
      }
      if (digits.size() % 2 != 0)
        throw UsageError("Binary data needs whole bytes: '" + single + "'");
      for (size_t i = 0; i < digits.size(); i += 2)
        bytes.push_back(static_cast<BYTE>(std::stoul(digits.substr(i, 2), nullptr, 16)));
    }
  }
  return bytes;
}

std::string ValueText(DWORD type, const std::vector<BYTE>& bytes) {
  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
      return StringValue(bytes);
    case REG_MULTI_SZ: {
      std::string text;
      for (const std::string& item : MultiStrings(bytes))
        text += (text.empty() ? "" : "\\0") + item;
      return text;
    }
    case REG_DWORD: {
      if (bytes.size() != 4) return Hex(bytes);
      char text[32];
      const auto value = LittleEndian<uint32_t>(bytes);
      std::snprintf(text, sizeof text, "0x%08x (%u)", value, value);
      return text;
    }
    case REG_QWORD: {
      if (bytes.size() != 8) return Hex(bytes);
      char text[48];
      const auto value = LittleEndian<uint64_t>(bytes);
      std::snprintf(text, sizeof text, "0x%016llx (%llu)", static_cast<unsigned long long>(value),
                    static_cast<unsigned long long>(value));
      return text;
    }
    default:
      return Hex(bytes);
  }
}

nlohmann::json ValueJson(DWORD type, const std::vector<BYTE>& bytes) {
  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
      return StringValue(bytes);
    case REG_MULTI_SZ:
      return MultiStrings(bytes);
    case REG_DWORD:
      if (bytes.size() == 4) return LittleEndian<uint32_t>(bytes);
      return Hex(bytes);
    case REG_QWORD:
      if (bytes.size() == 8) return LittleEndian<uint64_t>(bytes);
      return Hex(bytes);
    default:
      return Hex(bytes);
  }
}

std::string RegistryStatusText(LSTATUS status) {
  switch (status) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return "The key or value does not exist";
    case ERROR_ACCESS_DENIED:
      return "Access denied";
    case ERROR_KEY_DELETED:
      return "The key has been deleted";
    case ERROR_BADDB:
    case ERROR_REGISTRY_CORRUPT:
      return "The registry database is damaged";
    case ERROR_CANTOPEN:
      return "The registry database cannot be opened";
    case ERROR_CANTREAD:
      return "The registry database cannot be read";
    case ERROR_CANTWRITE:
      return "The registry database cannot be written";
    case ERROR_INVALID_PARAMETER:
      return "Invalid parameter";
    case ERROR_OUTOFMEMORY:
    case ERROR_NOT_ENOUGH_MEMORY:
      return "Out of memory";
    default:
      return "Registry error " + std::to_string(status);
  }
}

}  // namespace qxcli

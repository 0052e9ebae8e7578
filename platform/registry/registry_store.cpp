#include "platform/registry/registry_store.h"

#include <cstring>
#include <new>

#include "platform/registry/key_handles.h"
#include "platform/registry/key_path.h"
#include "platform/registry/registry_database.h"
#include "qxnet/text.h"

namespace qx::registry {

namespace {

LSTATUS Locate(HKEY base, std::u16string_view path, KeyLocation& out) {
  KeyLocation resolved;
  const LSTATUS status = ResolveKey(base, resolved);
  if (status != ERROR_SUCCESS) return status;
  return AppendSubkeyPath(resolved, path, out);
}

template <class Body>
LSTATUS Guarded(Body body) {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return ERROR_OUTOFMEMORY;
  }
}

NamedValue ToNamedValue(ValueRecord record) {
  return NamedValue{Utf8ToUtf16(record.name), record.type, std::move(record.data)};
}

}  // namespace

bool KeyExists(HKEY base, std::u16string_view path) {
  return Guarded([&]() -> LSTATUS {
           KeyLocation key;
           const LSTATUS status = Locate(base, path, key);
           if (status != ERROR_SUCCESS) return status;
           return RunRead([&](Transaction& tx) -> LSTATUS {
             return tx.KeyExists(key) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
           });
         }) == ERROR_SUCCESS;
}

LSTATUS ReadValue(HKEY base, std::u16string_view path, std::u16string_view name, NamedValue& out) {
  return Guarded([&]() -> LSTATUS {
    KeyLocation key;
    LSTATUS status = Locate(base, path, key);
    if (status != ERROR_SUCCESS) return status;
    const std::string folded = FoldedValueName(name);
    ValueRecord record;
    status = RunRead([&](Transaction& tx) -> LSTATUS {
      return tx.GetValue(key, folded, record) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    });
    if (status == ERROR_SUCCESS) out = ToNamedValue(std::move(record));
    return status;
  });
}

LSTATUS ReadString(HKEY base, std::u16string_view path, std::u16string_view name,
                   std::u16string& out) {
  NamedValue value;
  const LSTATUS status = ReadValue(base, path, name, value);
  if (status != ERROR_SUCCESS) return status;
  if (value.type != REG_SZ && value.type != REG_EXPAND_SZ) return ERROR_UNSUPPORTED_TYPE;
  return Guarded([&]() -> LSTATUS {
    out = StringFromValueData(value.data);
    return ERROR_SUCCESS;
  });
}

LSTATUS ReadDword(HKEY base, std::u16string_view path, std::u16string_view name, DWORD& out) {
  NamedValue value;
  const LSTATUS status = ReadValue(base, path, name, value);
  if (status != ERROR_SUCCESS) return status;
  if (value.type != REG_DWORD || value.data.size() != sizeof(DWORD)) return ERROR_UNSUPPORTED_TYPE;
  std::memcpy(&out, value.data.data(), sizeof(DWORD));
  return ERROR_SUCCESS;
}

LSTATUS WriteValue(HKEY base, std::u16string_view path, std::u16string_view name, DWORD type,
                   const void* data, size_t size) {
  if (data == nullptr && size != 0) return ERROR_INVALID_PARAMETER;
  if (name.size() > kMaxValueNameLength || size > 0xFFFFFFFFu) return ERROR_INVALID_PARAMETER;
  if ((type == REG_DWORD && size != 4) || (type == REG_QWORD && size != 8))
    return ERROR_INVALID_PARAMETER;
  return Guarded([&]() -> LSTATUS {
    KeyLocation key;
    const LSTATUS status = Locate(base, path, key);
    if (status != ERROR_SUCCESS) return status;
    const std::string display = Utf16ToUtf8(name);
    const std::string folded = FoldedValueName(name);
    return RunWrite([&](Transaction& tx) -> LSTATUS {
      tx.CreateKey(key);
      tx.SetValue(key, display, folded, type, static_cast<const BYTE*>(data), size);
      return ERROR_SUCCESS;
    });
  });
}

LSTATUS WriteString(HKEY base, std::u16string_view path, std::u16string_view name,
                    std::u16string_view text, DWORD type) {
  return Guarded([&]() -> LSTATUS {
    std::u16string terminated(text);
    terminated.push_back(u'\0');
    return WriteValue(base, path, name, type, terminated.data(),
                      terminated.size() * sizeof(char16_t));
  });
}

LSTATUS WriteDword(HKEY base, std::u16string_view path, std::u16string_view name, DWORD value) {
  return WriteValue(base, path, name, REG_DWORD, &value, sizeof(value));
}

LSTATUS DeleteValue(HKEY base, std::u16string_view path, std::u16string_view name) {
  return Guarded([&]() -> LSTATUS {
    KeyLocation key;
    const LSTATUS status = Locate(base, path, key);
    if (status != ERROR_SUCCESS) return status;
    const std::string folded = FoldedValueName(name);
    return RunWrite([&](Transaction& tx) -> LSTATUS {
      return tx.DeleteValue(key, folded) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    });
  });
}

LSTATUS DeleteTree(HKEY base, std::u16string_view path) {
  return Guarded([&]() -> LSTATUS {
    KeyLocation key;
    const LSTATUS status = Locate(base, path, key);
    if (status != ERROR_SUCCESS) return status;
    const bool keepKey = path.empty();
    return RunWrite([&](Transaction& tx) -> LSTATUS {
      return tx.DeleteTree(key, keepKey) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    });
  });
}

LSTATUS ListSubkeys(HKEY base, std::u16string_view path, std::vector<std::u16string>& names) {
  return Guarded([&]() -> LSTATUS {
    KeyLocation key;
    LSTATUS status = Locate(base, path, key);
    if (status != ERROR_SUCCESS) return status;
    std::vector<std::string> found;
    status = RunRead([&](Transaction& tx) -> LSTATUS {
      if (!tx.KeyExists(key)) return ERROR_FILE_NOT_FOUND;
      found = tx.Subkeys(key);
      return ERROR_SUCCESS;
    });
    if (status != ERROR_SUCCESS) return status;
    names.clear();
    for (const std::string& name : found) names.push_back(Utf8ToUtf16(name));
    return ERROR_SUCCESS;
  });
}

LSTATUS ListValues(HKEY base, std::u16string_view path, std::vector<NamedValue>& values) {
  return Guarded([&]() -> LSTATUS {
    KeyLocation key;
    LSTATUS status = Locate(base, path, key);
    if (status != ERROR_SUCCESS) return status;
    std::vector<ValueRecord> found;
    status = RunRead([&](Transaction& tx) -> LSTATUS {
      if (!tx.KeyExists(key)) return ERROR_FILE_NOT_FOUND;
      found = tx.Values(key);
      return ERROR_SUCCESS;
    });
    if (status != ERROR_SUCCESS) return status;
    values.clear();
    for (ValueRecord& record : found) values.push_back(ToNamedValue(std::move(record)));
    return ERROR_SUCCESS;
  });
}

bool ParseRootName(std::u16string_view name, HKEY& root) {
  const std::u16string folded = FoldCase(name);
  if (folded == u"hkcr" || folded == u"hkey_classes_root") {
    root = HKEY_CLASSES_ROOT;
  } else if (folded == u"hkcu" || folded == u"hkey_current_user") {
    root = HKEY_CURRENT_USER;
  } else if (folded == u"hklm" || folded == u"hkey_local_machine") {
    root = HKEY_LOCAL_MACHINE;
  } else {
    return false;
  }
  return true;
}

std::u16string RootName(HKEY root) {
  if (root == HKEY_CLASSES_ROOT) return u"HKEY_CLASSES_ROOT";
  if (root == HKEY_CURRENT_USER) return u"HKEY_CURRENT_USER";
  if (root == HKEY_LOCAL_MACHINE) return u"HKEY_LOCAL_MACHINE";
  return {};
}

std::u16string StringFromValueData(const std::vector<BYTE>& data) {
  std::u16string text(data.size() / sizeof(char16_t), u'\0');
  if (!text.empty()) std::memcpy(text.data(), data.data(), text.size() * sizeof(char16_t));
  const size_t end = text.find(u'\0');
  if (end != std::u16string::npos) text.resize(end);
  return text;
}

std::vector<std::u16string> StringsFromMultiStringData(const std::vector<BYTE>& data) {
  std::u16string all(data.size() / sizeof(char16_t), u'\0');
  if (!all.empty()) std::memcpy(all.data(), data.data(), all.size() * sizeof(char16_t));
  std::vector<std::u16string> strings;
  size_t start = 0;
  while (start < all.size()) {
    size_t end = all.find(u'\0', start);
    if (end == std::u16string::npos) end = all.size();
    if (end == start) break;  // the empty string ends the list
    strings.push_back(all.substr(start, end - start));
    start = end + 1;
  }
  return strings;
}

std::string StoreLocation() { return DatabasePath(); }

}  // namespace qx::registry

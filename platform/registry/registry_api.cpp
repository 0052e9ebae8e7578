// The exported registry functions (C linkage), on top of the database layer.
#include <cstring>
#include <new>

#include "platform/registry/key_handles.h"
#include "platform/registry/key_path.h"
#include "platform/registry/registry_database.h"
#include "platform/registry/registry_enumeration.h"
#include "qxnet/platform.h"
#include "qxnet/text.h"

using qx::registry::KeyLocation;
using qx::registry::Transaction;
using qx::registry::ValueRecord;

namespace {

std::u16string_view NameView(LPCWSTR name) { return qx::WideView(name); }

// The size rules every value type must meet.
bool ValidValueSize(DWORD type, DWORD size) {
  if (type == REG_DWORD) return size == 4;
  if (type == REG_QWORD) return size == 8;
  return true;
}

// Hands out `record.data` through the caller's (type, data, size) triple.
LSTATUS CopyValueOut(const ValueRecord& record, DWORD* type, BYTE* data, DWORD* size) {
  if (type != nullptr) *type = record.type;
  if (size == nullptr) return ERROR_SUCCESS;
  const DWORD needed = static_cast<DWORD>(record.data.size());
  if (data != nullptr) {
    if (*size < needed) {
      *size = needed;
      return ERROR_MORE_DATA;
    }
    if (needed > 0) std::memcpy(data, record.data.data(), needed);
  }
  *size = needed;
  return ERROR_SUCCESS;
}

// Copies a name with its terminator into a caller buffer of *count characters;
// *count becomes the length without the terminator.
LSTATUS CopyNameOut(const std::string& utf8, LPWSTR buffer, DWORD* count) {
  const std::u16string name = qx::Utf8ToUtf16(utf8);
  if (name.size() + 1 > *count) return ERROR_MORE_DATA;
  std::memcpy(buffer, name.data(), name.size() * sizeof(char16_t));
  buffer[name.size()] = u'\0';
  *count = static_cast<DWORD>(name.size());
  return ERROR_SUCCESS;
}

template <class Body>
LSTATUS Guarded(Body body) {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return ERROR_OUTOFMEMORY;
  } catch (...) {
    return ERROR_CANTREAD;
  }
}

}  // namespace

extern "C" {

LSTATUS RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, LPWSTR, DWORD, REGSAM, void*,
                        PHKEY phkResult, DWORD* lpdwDisposition) {
  if (phkResult == nullptr) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;
  if (lpSubKey == nullptr) return ERROR_INVALID_PARAMETER;
  return Guarded([&]() -> LSTATUS {
    KeyLocation base, target;
    LSTATUS status = qx::registry::ResolveKey(hKey, base);
    if (status != ERROR_SUCCESS) return status;
    status = qx::registry::AppendSubkeyPath(base, NameView(lpSubKey), target);
    if (status != ERROR_SUCCESS) return status;
    bool created = false;
    status = qx::registry::RunWrite([&](Transaction& tx) -> LSTATUS {
      if (!tx.KeyExists(base)) return ERROR_KEY_DELETED;
      created = tx.CreateKey(target);
      return ERROR_SUCCESS;
    });
    if (status != ERROR_SUCCESS) return status;
    HKEY handle = qx::registry::OpenKeyHandle(target);
    if (handle == nullptr) return ERROR_OUTOFMEMORY;
    *phkResult = handle;
    if (lpdwDisposition != nullptr)
      *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    return ERROR_SUCCESS;
  });
}

LSTATUS RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, REGSAM, PHKEY phkResult) {
  if (phkResult == nullptr) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;
  return Guarded([&]() -> LSTATUS {
    KeyLocation base, target;
    LSTATUS status = qx::registry::ResolveKey(hKey, base);
    if (status != ERROR_SUCCESS) return status;
    status = qx::registry::AppendSubkeyPath(base, NameView(lpSubKey), target);
    if (status != ERROR_SUCCESS) return status;
    status = qx::registry::RunRead([&](Transaction& tx) -> LSTATUS {
      return tx.KeyExists(target) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    });
    if (status != ERROR_SUCCESS) return status;
    HKEY handle = qx::registry::OpenKeyHandle(target);
    if (handle == nullptr) return ERROR_OUTOFMEMORY;
    *phkResult = handle;
    return ERROR_SUCCESS;
  });
}

LSTATUS RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD*, DWORD* lpType, BYTE* lpData,
                         DWORD* lpcbData) {
  if (lpData != nullptr && lpcbData == nullptr) return ERROR_INVALID_PARAMETER;
  return Guarded([&]() -> LSTATUS {
    KeyLocation key;
    LSTATUS status = qx::registry::ResolveKey(hKey, key);
    if (status != ERROR_SUCCESS) return status;
    const std::string folded = qx::registry::FoldedValueName(NameView(lpValueName));
    ValueRecord record;
    status = qx::registry::RunRead([&](Transaction& tx) -> LSTATUS {
      if (!tx.KeyExists(key)) return ERROR_KEY_DELETED;
      return tx.GetValue(key, folded, record) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    });
    if (status != ERROR_SUCCESS) return status;
    return CopyValueOut(record, lpType, lpData, lpcbData);
  });
}

LSTATUS RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD, DWORD dwType, const BYTE* lpData,
                       DWORD cbData) {
  if (lpData == nullptr && cbData != 0) return ERROR_INVALID_PARAMETER;
  if (!ValidValueSize(dwType, cbData)) return ERROR_INVALID_PARAMETER;
  const std::u16string_view name = NameView(lpValueName);
  if (name.size() > qx::registry::kMaxValueNameLength) return ERROR_INVALID_PARAMETER;
  return Guarded([&]() -> LSTATUS {
    KeyLocation key;
    LSTATUS status = qx::registry::ResolveKey(hKey, key);
    if (status != ERROR_SUCCESS) return status;
    const std::string display = qx::Utf16ToUtf8(name);
    const std::string folded = qx::registry::FoldedValueName(name);
    return qx::registry::RunWrite([&](Transaction& tx) -> LSTATUS {
      if (!tx.KeyExists(key)) return ERROR_KEY_DELETED;
      tx.SetValue(key, display, folded, dwType, lpData, cbData);
      return ERROR_SUCCESS;
    });
  });
}

LSTATUS RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName) {
  return Guarded([&]() -> LSTATUS {
    KeyLocation key;
    LSTATUS status = qx::registry::ResolveKey(hKey, key);
    if (status != ERROR_SUCCESS) return status;
    const std::string folded = qx::registry::FoldedValueName(NameView(lpValueName));
    return qx::registry::RunWrite([&](Transaction& tx) -> LSTATUS {
      if (!tx.KeyExists(key)) return ERROR_KEY_DELETED;
      return tx.DeleteValue(key, folded) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    });
  });
}

LSTATUS RegDeleteTreeW(HKEY hKey, LPCWSTR lpSubKey) {
  return Guarded([&]() -> LSTATUS {
    KeyLocation key, target;
    LSTATUS status = qx::registry::ResolveKey(hKey, key);
    if (status != ERROR_SUCCESS) return status;
    const bool keepKey = lpSubKey == nullptr || lpSubKey[0] == u'\0';
    status = qx::registry::AppendSubkeyPath(key, NameView(lpSubKey), target);
    if (status != ERROR_SUCCESS) return status;
    return qx::registry::RunWrite([&](Transaction& tx) -> LSTATUS {
      if (!tx.DeleteTree(target, keepKey))
        return keepKey ? ERROR_KEY_DELETED : ERROR_FILE_NOT_FOUND;
      return ERROR_SUCCESS;
    });
  });
}

LSTATUS RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, DWORD* lpcchName, DWORD*,
                      LPWSTR lpClass, DWORD* lpcchClass, void* lpftLastWriteTime) {
  if (lpName == nullptr || lpcchName == nullptr) return ERROR_INVALID_PARAMETER;
  return Guarded([&]() -> LSTATUS {
    KeyLocation key;
    LSTATUS status = qx::registry::ResolveKey(hKey, key);
    if (status != ERROR_SUCCESS) return status;
    std::string name;
    status = qx::registry::RunRead([&](Transaction& tx) -> LSTATUS {
      if (!tx.KeyExists(key)) return ERROR_KEY_DELETED;
      return qx::registry::SubkeyAt(tx, key, dwIndex, name) ? ERROR_SUCCESS : ERROR_NO_MORE_ITEMS;
    });
    if (status != ERROR_SUCCESS) return status;
    status = CopyNameOut(name, lpName, lpcchName);
    if (status != ERROR_SUCCESS) return status;
    // Keys carry no class name and no recorded write time.
    if (lpClass != nullptr && lpcchClass != nullptr && *lpcchClass > 0) lpClass[0] = u'\0';
    if (lpcchClass != nullptr) *lpcchClass = 0;
    if (lpftLastWriteTime != nullptr) std::memset(lpftLastWriteTime, 0, 2 * sizeof(DWORD));
    return ERROR_SUCCESS;
  });
}

LSTATUS RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, DWORD* lpcchValueName, DWORD*,
                      DWORD* lpType, BYTE* lpData, DWORD* lpcbData) {
  if (lpValueName == nullptr || lpcchValueName == nullptr) return ERROR_INVALID_PARAMETER;
  if (lpData != nullptr && lpcbData == nullptr) return ERROR_INVALID_PARAMETER;
  return Guarded([&]() -> LSTATUS {
    KeyLocation key;
    LSTATUS status = qx::registry::ResolveKey(hKey, key);
    if (status != ERROR_SUCCESS) return status;
    ValueRecord record;
    status = qx::registry::RunRead([&](Transaction& tx) -> LSTATUS {
      if (!tx.KeyExists(key)) return ERROR_KEY_DELETED;
      return qx::registry::ValueAt(tx, key, dwIndex, record) ? ERROR_SUCCESS : ERROR_NO_MORE_ITEMS;
    });
    if (status != ERROR_SUCCESS) return status;
    status = CopyNameOut(record.name, lpValueName, lpcchValueName);
    if (status != ERROR_SUCCESS) return status;
    return CopyValueOut(record, lpType, lpData, lpcbData);
  });
}

LSTATUS RegCloseKey(HKEY hKey) {
  if (qx::registry::IsPredefinedRoot(hKey)) return ERROR_SUCCESS;
  return qx::registry::CloseKeyHandle(hKey);
}

LSTATUS RegOverridePredefKey(HKEY hKey, HKEY hNewHKey) {
  return Guarded([&] { return qx::registry::OverridePredefinedKey(hKey, hNewHKey); });
}

LSTATUS QxRegBeginTransaction(void) { return qx::registry::BeginThreadTransaction(); }

LSTATUS QxRegCommitTransaction(void) { return qx::registry::EndThreadTransaction(true); }

LSTATUS QxRegRollbackTransaction(void) { return qx::registry::EndThreadTransaction(false); }

}  // extern "C"

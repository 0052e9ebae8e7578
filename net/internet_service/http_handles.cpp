// The table of live handles, so a stale or foreign handle is refused
// instead of being dereferenced.
#include "net/internet_service/http_handles.h"

#include <cstdint>
#include <mutex>
#include <unordered_map>

#include "net/internet_service/http_transfer.h"
#include "net/internet_service/last_error.h"

namespace qx::inet {
namespace {

// Identifiers start above the user-space address range, so a stray pointer
// is never taken for a handle.
constexpr uintptr_t kFirstHandle = 0x4858'0000'0000'0001;

std::mutex g_table_mutex;
uintptr_t g_next_handle = kFirstHandle;

std::unordered_map<uintptr_t, std::shared_ptr<InternetHandle>>& Table() {
  static auto* table = new std::unordered_map<uintptr_t, std::shared_ptr<InternetHandle>>();
  return *table;
}

std::once_flag g_curl_init;

}  // namespace

SessionState::SessionState() {
  std::call_once(g_curl_init, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
  multi = curl_multi_init();
}

SessionState::~SessionState() {
  if (multi != nullptr) curl_multi_cleanup(multi);
}

RequestHandle::RequestHandle() : InternetHandle(HandleKind::Request) {}

RequestHandle::~RequestHandle() {
  if (transfer && session) {
    std::lock_guard<std::recursive_mutex> lock(session->mutex);
    transfer.reset();
  }
}

HINTERNET RegisterHandle(std::shared_ptr<InternetHandle> handle) {
  std::lock_guard<std::mutex> lock(g_table_mutex);
  const uintptr_t id = g_next_handle++;
  Table().emplace(id, std::move(handle));
  return reinterpret_cast<HINTERNET>(id);
}

std::shared_ptr<InternetHandle> FindHandle(HINTERNET handle, HandleKind kind) {
  std::lock_guard<std::mutex> lock(g_table_mutex);
  auto found = Table().find(reinterpret_cast<uintptr_t>(handle));
  if (found == Table().end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (found->second->kind != kind) {
    SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    return nullptr;
  }
  return found->second;
}

bool ReleaseHandle(HINTERNET handle) {
  std::shared_ptr<InternetHandle> owned;
  {
    std::lock_guard<std::mutex> lock(g_table_mutex);
    auto found = Table().find(reinterpret_cast<uintptr_t>(handle));
    if (found == Table().end()) return false;
    owned = std::move(found->second);
    Table().erase(found);
  }
  owned.reset();  // outside the table lock: closing may take the session lock
  return true;
}

HttpTransfer* AnsweredTransfer(RequestHandle& request) {
  if (!request.transfer || !request.transfer->HeadersComplete()) {
    SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
    return nullptr;
  }
  return request.transfer.get();
}

}  // namespace qx::inet

// Automation strings (BSTR): UTF-16 text with a 32-bit byte length stored
// just before the first character and a zero character after the data.
// The block comes from malloc; the BSTR points just past the length.
#include <cstdlib>
#include <cstring>
#include <limits>

#include "qxnet/platform.h"

namespace {

constexpr size_t kPrefixBytes = sizeof(uint32_t);
constexpr size_t kTerminatorBytes = sizeof(OLECHAR);

// Allocates a string of byteLength bytes, copying them from source when it is
// given and zero-filling otherwise. Null when the size cannot be represented
// or memory runs out.
BSTR AllocateBytes(const void* source, size_t byteLength) {
  if (byteLength > std::numeric_limits<uint32_t>::max() - kPrefixBytes - 2 * kTerminatorBytes)
    return nullptr;
  // One spare byte keeps an odd byte length's text followed by a whole zero
  // character.
  const size_t total = kPrefixBytes + byteLength + kTerminatorBytes + (byteLength & 1);
  auto* block = static_cast<unsigned char*>(std::malloc(total));
  if (!block) return nullptr;
  const uint32_t stored = static_cast<uint32_t>(byteLength);
  std::memcpy(block, &stored, sizeof stored);
  unsigned char* data = block + kPrefixBytes;
  if (source)
    std::memcpy(data, source, byteLength);
  else
    std::memset(data, 0, byteLength);
  std::memset(data + byteLength, 0, total - kPrefixBytes - byteLength);
  return reinterpret_cast<BSTR>(data);
}

unsigned char* BlockOf(BSTR s) { return reinterpret_cast<unsigned char*>(s) - kPrefixBytes; }

size_t WideLength(const OLECHAR* s) {
  size_t n = 0;
  while (s[n] != 0) ++n;
  return n;
}

}  // namespace

extern "C" {

BSTR SysAllocString(const OLECHAR* psz) {
  if (!psz) return nullptr;
  return AllocateBytes(psz, WideLength(psz) * sizeof(OLECHAR));
}

BSTR SysAllocStringLen(const OLECHAR* strIn, UINT ui) {
  if (ui > std::numeric_limits<uint32_t>::max() / sizeof(OLECHAR)) return nullptr;
  return AllocateBytes(strIn, size_t{ui} * sizeof(OLECHAR));
}

BSTR SysAllocStringByteLen(const char* psz, UINT len) { return AllocateBytes(psz, len); }

INT SysReAllocString(BSTR* pbstr, const OLECHAR* psz) {
  if (!pbstr) return FALSE;
  // The new text may lie inside the old string, so copy before freeing.
  BSTR replacement = nullptr;
  if (psz) {
    replacement = SysAllocString(psz);
    if (!replacement) return FALSE;
  }
  SysFreeString(*pbstr);
  *pbstr = replacement;
  return TRUE;
}

void SysFreeString(BSTR bstrString) {
  if (bstrString) std::free(BlockOf(bstrString));
}

UINT SysStringByteLen(BSTR bstr) {
  if (!bstr) return 0;
  uint32_t stored;
  std::memcpy(&stored, BlockOf(bstr), sizeof stored);
  return stored;
}

UINT SysStringLen(BSTR pbstr) { return SysStringByteLen(pbstr) / sizeof(OLECHAR); }

}  // extern "C"

// GUIDs as text: the braced registry form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
#include <cstddef>

#include "qxnet/platform.h"

namespace {

constexpr int kBracedLength = 38;  // characters, without the terminator

int HexValue(OLECHAR c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// Reads `digits` hex digits at text[pos]; false on any other character.
bool ReadHex(const OLECHAR* text, int pos, int digits, uint32_t* value) {
  uint32_t v = 0;
  for (int i = 0; i < digits; ++i) {
    const int h = HexValue(text[pos + i]);
    if (h < 0) return false;
    v = (v << 4) | static_cast<uint32_t>(h);
  }
  *value = v;
  return true;
}

// Parses exactly the braced form followed by the end of the text.
bool ParseBracedGuid(const OLECHAR* text, GUID* out) {
  // Check the length first so that no read goes past the terminator.
  for (int i = 0; i < kBracedLength; ++i)
    if (text[i] == 0) return false;
  if (text[kBracedLength] != 0) return false;
  if (text[0] != u'{' || text[9] != u'-' || text[14] != u'-' || text[19] != u'-' ||
      text[24] != u'-' || text[37] != u'}')
    return false;
  GUID g{};
  uint32_t v;
  if (!ReadHex(text, 1, 8, &v)) return false;
  g.Data1 = v;
  if (!ReadHex(text, 10, 4, &v)) return false;
  g.Data2 = static_cast<uint16_t>(v);
  if (!ReadHex(text, 15, 4, &v)) return false;
  g.Data3 = static_cast<uint16_t>(v);
  static const int kBytePositions[8] = {20, 22, 25, 27, 29, 31, 33, 35};
  for (int i = 0; i < 8; ++i) {
    if (!ReadHex(text, kBytePositions[i], 2, &v)) return false;
    g.Data4[i] = static_cast<uint8_t>(v);
  }
  *out = g;
  return true;
}

void WriteHex(OLECHAR* out, uint32_t value, int digits) {
  static const char kDigits[] = "0123456789ABCDEF";
  for (int i = digits - 1; i >= 0; --i) {
    out[i] = static_cast<OLECHAR>(kDigits[value & 0xF]);
    value >>= 4;
  }
}

}  // namespace

extern "C" {

INT StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, INT cchMax) {
  if (!lpsz || cchMax < kBracedLength + 1) return 0;
  OLECHAR* p = lpsz;
  *p++ = u'{';
  WriteHex(p, rguid.Data1, 8);
  p += 8;
  *p++ = u'-';
  WriteHex(p, rguid.Data2, 4);
  p += 4;
  *p++ = u'-';
  WriteHex(p, rguid.Data3, 4);
  p += 4;
  *p++ = u'-';
  for (int i = 0; i < 8; ++i) {
    if (i == 2) *p++ = u'-';
    WriteHex(p, rguid.Data4[i], 2);
    p += 2;
  }
  *p++ = u'}';
  *p = 0;
  return kBracedLength + 1;
}

// A null text is the null GUID, as on the desktop platform.
HRESULT IIDFromString(LPCOLESTR lpsz, IID* lpiid) {
  if (!lpiid) return E_INVALIDARG;
  if (!lpsz) {
    *lpiid = IID_NULL;
    return S_OK;
  }
  return ParseBracedGuid(lpsz, lpiid) ? S_OK : E_INVALIDARG;
}

// A braced GUID is read as such; any other text is taken as a ProgID.
HRESULT CLSIDFromString(LPCOLESTR lpsz, CLSID* pclsid) {
  if (!pclsid) return E_INVALIDARG;
  *pclsid = GUID_NULL;
  if (!lpsz) return S_OK;
  if (lpsz[0] == u'{') return ParseBracedGuid(lpsz, pclsid) ? S_OK : CO_E_CLASSSTRING;
  CLSID found = GUID_NULL;
  if (FAILED(CLSIDFromProgID(lpsz, &found))) return CO_E_CLASSSTRING;
  *pclsid = found;
  return S_OK;
}

}  // extern "C"

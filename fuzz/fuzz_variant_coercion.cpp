// Variant coercion from text: a value that converts is written as text that
// converts to the same value, and that text is a fixed point.
#include "fuzz/harness.h"
#include "qxnet/bstr.h"
#include "qxnet/platform.h"
#include "qxnet/text.h"

namespace {

constexpr VARTYPE kTargets[] = {VT_I1,  VT_I2,   VT_I4,   VT_I8,     VT_UI1, VT_UI2,
                                VT_UI4, VT_UI8,  VT_INT,  VT_UINT,   VT_R4,  VT_R8,
                                VT_CY,  VT_DATE, VT_BOOL, VT_DECIMAL};

// `text` converted to `type` and back to text; false when it does not convert.
bool RoundTrip(const std::u16string& text, VARTYPE type, std::u16string& back) {
  VARIANT source, value, written;
  VariantInit(&source);
  VariantInit(&value);
  VariantInit(&written);
  source.vt = VT_BSTR;
  source.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  bool ok = VariantChangeType(&value, &source, 0, type) == S_OK;
  if (ok) {
    FUZZ_REQUIRE(value.vt == type, qx::Utf16ToUtf8(text));
    ok = VariantChangeType(&written, &value, 0, VT_BSTR) == S_OK;
    FUZZ_REQUIRE(ok, "a converted value is written as text: " + qx::Utf16ToUtf8(text));
    back = std::u16string(qx::BstrView(written.bstrVal));
  }
  VariantClear(&source);
  VariantClear(&value);
  VariantClear(&written);
  return ok;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const VARTYPE type = kTargets[data[0] % std::size(kTargets)];
  const std::u16string text = qxfuzz::InputText(data + 1, size - 1);
  std::u16string written;
  if (!RoundTrip(text, type, written)) return 0;
  std::u16string again;
  const std::string trail = qx::Utf16ToUtf8(text) + " -> " + qx::Utf16ToUtf8(written) + " (type " +
                            std::to_string(type) + ")";
  FUZZ_REQUIRE(RoundTrip(written, type, again), trail);
  FUZZ_REQUIRE(again == written, trail + " -> " + qx::Utf16ToUtf8(again));
  return 0;
}

// Feed documents: whatever a feed file holds, what is read from it is saved
// as a feed that reads back to the same save (a fixed point after one round).
#include "fuzz/harness.h"
#include "qxnet/bstr.h"

namespace {

// Parses `from` into a new document and saves it to `to`; false when the
// parse failed.
bool ParseAndSave(const std::string& from, const std::string& to) {
  auto document = qxfuzz::Create<IUpdateDocument>(CLSID_UpdateDocument);
  if (document->Parse(qx::BStr::FromUtf8(from).Get()) != S_OK) return false;
  const HRESULT saved = document->Save(qx::BStr::FromUtf8(to).Get());
  FUZZ_REQUIRE(saved == S_OK, "a parsed document saves");
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qxfuzz::CheckSaveIsAFixedPoint(data, size, "feed", ParseAndSave);
  return 0;
}

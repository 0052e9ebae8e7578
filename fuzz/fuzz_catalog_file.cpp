// Catalog files: whatever a catalog file holds, what is loaded from it is
// saved as a file that loads back to the same save.
#include "fuzz/harness.h"
#include "qxnet/bstr.h"

namespace {

// Loads `from` into a new catalog and saves it to `to`; false when the load
// failed.
bool LoadAndSave(const std::string& from, const std::string& to) {
  auto catalog = qxfuzz::Create<IUpdateCatalog>(CLSID_UpdateCatalog);
  catalog->put_fileName(qx::BStr::FromUtf8(from).Get());
  if (catalog->Load() != S_OK) return false;
  catalog->put_fileName(qx::BStr::FromUtf8(to).Get());
  FUZZ_REQUIRE(catalog->Save() == S_OK, "a loaded catalog saves");
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qxfuzz::CheckSaveIsAFixedPoint(data, size, "catalog", LoadAndSave);
  return 0;
}

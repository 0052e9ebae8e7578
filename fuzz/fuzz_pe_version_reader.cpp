// PE images: the version resource found is a piece of the file within the
// size cap, and reading it twice gives the same bytes and the same answers.
#include <cstring>
#include <string>

#include "detect/pe_version_reader.h"
#include "detect/version_info_block.h"
#include "fuzz/harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const qx::detect::MemoryImageSource image(data, size);
  const auto resource = qx::detect::ReadVersionResource(image);
  if (!resource) return 0;
  FUZZ_REQUIRE(resource->size() <= qx::detect::kMaxVersionResourceSize,
               std::to_string(resource->size()));
  FUZZ_REQUIRE(
      resource->empty() || memmem(data, size, resource->data(), resource->size()) != nullptr,
      "the resource is bytes of the file");
  FUZZ_REQUIRE(qx::detect::ReadVersionResource(image) == resource, "reading is repeatable");

  const auto block = qx::detect::VersionInfoBlock::Parse(*resource);
  if (!block) return 0;
  const auto translations = block->Translations();
  FUZZ_REQUIRE(translations.size() * 4 <= resource->size(), "translations come from the resource");
  for (const auto& t : translations) {
    char key[64];
    std::snprintf(key, sizeof key, "\\StringFileInfo\\%04x%04x\\FileVersion", t.language,
                  t.codePage);
    const auto value = block->QueryString(std::u16string(key, key + std::strlen(key)));
    if (value)
      FUZZ_REQUIRE(value->size() * 2 <= resource->size(), "a value comes from the resource");
  }
  return 0;
}

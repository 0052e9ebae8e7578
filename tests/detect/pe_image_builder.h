// Test support: builds small PE images carrying a version resource, and
// fake .NET install trees made of them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "detect/version_info_block.h"

namespace detecttest {

using Bytes = std::vector<uint8_t>;

// Writes `v` little-endian at `at`, growing `out` when it is shorter.
void Put16(Bytes& out, size_t at, uint16_t v);
void Put32(Bytes& out, size_t at, uint32_t v);

struct StringTable {
  std::u16string key;  // "040904b0"
  std::vector<std::pair<std::u16string, std::u16string>> strings;
};

struct VersionResourceSpec {
  std::vector<qx::detect::Translation> translations;  // none: no VarFileInfo block
  std::vector<StringTable> tables;
};

// The VS_VERSIONINFO block for `spec`.
Bytes BuildVersionResource(const VersionResourceSpec& spec);

// A PE image with one resource section. With `versionResource` the resource
// directory holds it as type 16 (after an unrelated type 3 entry); without,
// only the unrelated entry is there.
Bytes BuildPeImage(const std::optional<Bytes>& versionResource, bool pe32Plus = false);

// A PE image whose FileVersion is `fileVersion` under translation 0409/04b0.
Bytes PeWithFileVersion(const std::u16string& fileVersion);

// Layout of the images BuildPeImage makes, for tests that damage them.
struct PeLayout {
  static constexpr size_t kPeHeaderOffset = 0x40;
  static constexpr size_t kSectionCountOffset = kPeHeaderOffset + 6;
  static constexpr size_t kResourceSectionOffset = 0x200;  // file offset of the resources
  static constexpr uint32_t kResourceRva = 0x1000;
  // Offsets inside the resource section.
  static constexpr size_t kTypeEntryOffset = 16 + 8;  // the type 16 entry (second)
  static constexpr size_t kDataEntryOffset = 16 + 16 + 24 + 24;
  static constexpr size_t kVersionDataOffset = kDataEntryOffset + 16;
};

void WriteFile(const std::string& path, const Bytes& bytes);

// A folder of the running test's own under the test process's root, so
// that tests run in one process do not see each other's trees.
std::string TestFolder(const std::string& name);

// Removes HKLM\SOFTWARE\Microsoft\.NETFramework from the test registry.
void ClearInstallRootKey();

// A fake .NET install under `root`: the host marker and the
// shared/Microsoft.NETCore.App/ folder.
class FakeDotNet {
 public:
  explicit FakeDotNet(std::string root);
  const std::string& Root() const { return root_; }
  // root + "/shared/Microsoft.NETCore.App/"
  std::string SharedFolder() const;
  // A version folder holding the core library and a mscorlib.dll with
  // `fileVersion` (none: a mscorlib.dll without a version resource).
  void AddRuntime(const std::string& name, const std::optional<std::u16string>& fileVersion);
  // A folder that is not a runtime (no core library in it).
  void AddOtherFolder(const std::string& name);

 private:
  std::string root_;
};

}  // namespace detecttest

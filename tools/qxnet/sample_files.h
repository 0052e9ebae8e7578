// The files bundled into the binary from the samples folder.
#pragma once

#include <span>
#include <string_view>

namespace qxcli {

struct SampleFile {
  std::string_view name;  // path relative to the samples folder, '/'-separated
  std::string_view content;
};

std::span<const SampleFile> SampleFiles();

// The content of the bundled file `name`; throws std::out_of_range when
// the binary carries no such file.
std::string_view SampleContent(std::string_view name);

}  // namespace qxcli

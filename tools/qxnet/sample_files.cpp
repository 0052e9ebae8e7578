#include "tools/qxnet/sample_files.h"

#include <stdexcept>
#include <string>

namespace qxcli {

std::string_view SampleContent(std::string_view name) {
  for (const SampleFile& file : SampleFiles())
    if (file.name == name) return file.content;
  throw std::out_of_range("no bundled sample named " + std::string(name));
}

}  // namespace qxcli

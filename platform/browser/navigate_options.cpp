#include "platform/browser/navigate_options.h"

#include <cstring>

namespace qxnav {

std::vector<std::string> SplitHeaderLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

std::optional<NavigateOptions> ParseNavigateOptions(int argc, char** argv) {
  NavigateOptions options;
  int i = 1;
  for (; i < argc; ++i) {
    const char* argument = argv[i];
    if (std::strcmp(argument, "--") == 0) {
      ++i;
      break;
    }
    if (std::strcmp(argument, "--visible") == 0) {
      options.visible = true;
    } else if (std::strcmp(argument, "--header") == 0 && i + 1 < argc) {
      for (std::string& line : SplitHeaderLines(argv[++i])) options.headers.push_back(line);
    } else if (argument[0] == '-') {
      return std::nullopt;
    } else {
      break;
    }
  }
  if (i + 1 != argc || argv[i][0] == '\0') return std::nullopt;
  options.url = argv[i];
  return options;
}

}  // namespace qxnav

// Command line of qxnet-navigate:
//   qxnet-navigate [--visible] [--header TEXT]... [--] URL
// The POST body is read from standard input.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace qxnav {

struct NavigateOptions {
  std::string url;
  std::vector<std::string> headers;  // one entry per header line
  bool visible = false;
};

// Header text may hold several lines separated by CR LF or LF; empty lines
// are dropped.
std::vector<std::string> SplitHeaderLines(const std::string& text);

// Nothing when the command line is not understood.
std::optional<NavigateOptions> ParseNavigateOptions(int argc, char** argv);

}  // namespace qxnav

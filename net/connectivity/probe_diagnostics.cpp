#include "net/connectivity/probe_diagnostics.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace qx::net {

bool ProbeDiagnosticsEnabled() {
  const char* value = std::getenv("QXNET_DIAGNOSTICS");
  return value != nullptr && std::strcmp(value, "1") == 0;
}

void ShowProbeDiagnostic(std::string_view text) {
  if (!ProbeDiagnosticsEnabled()) return;
  std::string line(text);
  line.push_back('\n');
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

}  // namespace qx::net

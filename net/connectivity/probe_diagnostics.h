// Diagnostic texts of the connect probe. They are shown only on request
// (QXNET_DIAGNOSTICS=1 in the environment), on standard error, one line
// each; they never go to the trace log.
#pragma once

#include <string_view>

namespace qx::net {

bool ProbeDiagnosticsEnabled();
void ShowProbeDiagnostic(std::string_view text);

}  // namespace qx::net

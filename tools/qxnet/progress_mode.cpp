// The choice between no progress, progress lines and the in-place bar.
#include <unistd.h>

#include <cstdio>

#include "tools/qxnet/commands.h"

namespace qxcli {

ProgressDisplay::Mode ProgressMode(const GlobalOptions& options) {
  if (options.no_progress || options.json) return ProgressDisplay::Mode::Off;
  if (!options.progress && !isatty(fileno(stderr))) return ProgressDisplay::Mode::Off;
  return ProgressDisplay::ModeFor(stderr);
}

}  // namespace qxcli

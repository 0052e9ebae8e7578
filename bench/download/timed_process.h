// Runs a program to its end and measures it: wall time, processor time and
// the peak resident memory the kernel recorded for it.
#pragma once

#include <string>
#include <vector>

namespace bench {

struct ProcessRun {
  bool ok = false;  // ran and exited with status 0
  double seconds = 0;
  double cpuSeconds = 0;  // user and system, its waited-for children included
  long peakResidentKiB = 0;
};

// Runs `argv` (argv[0] looked up on PATH) with standard output and error
// going to /dev/null, and with `settings` ("NAME=value") added to this
// process's environment.
ProcessRun RunProcess(const std::vector<std::string>& argv,
                      const std::vector<std::string>& settings = {});

// Runs a shell command line (for pipelines and redirections).
ProcessRun RunShell(const std::string& command);

// User and system processor seconds of this process so far.
double OwnCpuSeconds();

}  // namespace bench

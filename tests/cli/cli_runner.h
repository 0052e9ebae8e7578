// Runs the built qxnet binary as a child process with this test's
// environment (plus optional overrides) and collects what it prints.
#pragma once

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "tests/support/files.h"

namespace clitest {

using qxtest::ReadFile;
using qxtest::WriteFile;

struct RunResult {
  int exit_code = -1;  // the exit status, or 128 + signal
  std::string out;
  std::string err;
  // Standard output read as one JSON document (fails the test otherwise).
  nlohmann::json Json() const;
};

// The status of each item of an update listing, by guid.
std::map<std::string, std::string> StatusByGuid(const nlohmann::json& document);

using EnvOverrides = std::map<std::string, std::string>;

RunResult RunQxnet(const std::vector<std::string>& args, const EnvOverrides& env = {});
// Runs with --json, expects exit status 0 and returns the document printed.
nlohmann::json RunQxnetJson(const std::vector<std::string>& args, const EnvOverrides& env = {});

// A child that is still running: its standard error can be read while it
// works (to send it a signal at the right moment).
class RunningQxnet {
 public:
  explicit RunningQxnet(const std::vector<std::string>& args, const EnvOverrides& env = {});
  ~RunningQxnet();
  // Reads standard error until `text` appears; false at end of output or
  // when nothing arrives for a minute.
  bool WaitForError(const std::string& text);
  void Signal(int signal_number);
  RunResult Finish();

 private:
  pid_t pid_ = -1;
  int out_fd_ = -1, err_fd_ = -1;
  std::string out_, err_;
};

// Runs the binary on a pseudo-terminal (standard output and error both go
// to it) and returns everything it wrote there.
RunResult RunQxnetOnTerminal(const std::vector<std::string>& args);

}  // namespace clitest

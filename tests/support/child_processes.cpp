#include "tests/support/child_processes.h"

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <vector>

namespace qxtest {

bool InChildProcesses(int count, const std::function<bool(int index)>& work) {
  std::vector<pid_t> children;
  for (int index = 0; index < count; ++index) {
    const pid_t child = fork();
    if (child == 0) _exit(work(index) ? 0 : 1);
    if (child < 0) {
      ADD_FAILURE() << "fork failed";
    } else {
      children.push_back(child);
    }
  }
  bool succeeded = static_cast<int>(children.size()) == count;
  for (const pid_t child : children) succeeded = WaitForExitCode(child) == 0 && succeeded;
  return succeeded;
}

int WaitForExitCode(pid_t child) {
  int status = 0;
  if (waitpid(child, &status, 0) != child) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace qxtest

// Child processes of a test, made with fork: work on a shared store from
// several processes at once, and processes killed at a chosen moment. The
// test process must not have started threads before it forks.
#pragma once

#include <sys/types.h>

#include <functional>

namespace qxtest {

// Runs work(0) ... work(count - 1) at once, each in a child process of its
// own; true when every child's work returned true.
bool InChildProcesses(int count, const std::function<bool(int index)>& work);

// Waits for `child`; its exit status, or 128 + the signal that ended it.
int WaitForExitCode(pid_t child);

}  // namespace qxtest

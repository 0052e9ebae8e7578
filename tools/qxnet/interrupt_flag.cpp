#include "tools/qxnet/interrupt_flag.h"

#include <signal.h>

#include <atomic>

namespace qxcli {

namespace {

std::atomic<bool> g_interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free, "used from a signal handler");

void OnInterrupt(int signal_number) {
  if (g_interrupted.exchange(true)) {
    // Asked twice: give up waiting for the library and end now.
    ::signal(signal_number, SIG_DFL);
    ::raise(signal_number);
  }
}

}  // namespace

void InstallInterruptHandler() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
}

bool Interrupted() { return g_interrupted.load(); }

}  // namespace qxcli

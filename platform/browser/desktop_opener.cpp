#include "platform/browser/desktop_opener.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

extern char** environ;

namespace qxnav {

std::string FindDesktopOpener() {
  const char* path = std::getenv("PATH");
  if (path == nullptr) return {};
  const std::string list = path;
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find(':', start);
    if (end == std::string::npos) end = list.size();
    const std::string folder = list.substr(start, end - start);
    start = end + 1;
    if (folder.empty()) continue;  // never run an opener from the current folder
    std::string candidate = folder + "/xdg-open";
    struct stat info {};
    if (::stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
        ::access(candidate.c_str(), X_OK) == 0) {
      return candidate;
    }
  }
  return {};
}

bool OpenWithDesktop(const std::string& path) {
  const std::string opener = FindDesktopOpener();
  if (opener.empty()) return false;

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  // The opener gets nothing of the form body on its standard input.
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  std::string openerArg = opener;
  std::string pathArg = path;
  char* argv[] = {openerArg.data(), pathArg.data(), nullptr};
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, opener.c_str(), &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return false;
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return true;
}

}  // namespace qxnav

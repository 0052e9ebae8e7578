#include "detect/dotnet_host_locator.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace qx::detect {

namespace {

std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home && *home) return home;
  // getpwuid_r rather than getpwuid: callers may be on many threads.
  long size = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::string buffer(size > 0 ? static_cast<size_t>(size) : 16384, '\0');
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
      found->pw_dir) {
    return found->pw_dir;
  }
  return {};
}

std::string WithoutTrailingSeparators(std::string folder) {
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

}  // namespace

std::vector<std::string> DotNetHostCandidates() {
  std::vector<std::string> candidates;
  if (const char* root = std::getenv("DOTNET_ROOT"); root && *root) candidates.emplace_back(root);
  candidates.emplace_back("/usr/share/dotnet");
  candidates.emplace_back("/usr/lib/dotnet");
  if (std::string home = HomeFolder(); !home.empty()) {
    candidates.push_back(WithoutTrailingSeparators(std::move(home)) + "/.dotnet");
  }
  return candidates;
}

bool IsDotNetHostFolder(const std::string& folder) {
  if (folder.empty()) return false;
  const std::string base = WithoutTrailingSeparators(folder);
  struct stat info {};
  const std::string program = base + "/dotnet";
  if (stat(program.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
      (info.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH)) != 0) {
    return true;
  }
  const std::string resolver = base + "/host/fxr";
  return stat(resolver.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::optional<std::string> LocateDotNetHost(const std::vector<std::string>& candidates) {
  for (const std::string& candidate : candidates) {
    if (IsDotNetHostFolder(candidate)) return WithoutTrailingSeparators(candidate);
  }
  return std::nullopt;
}

}  // namespace qx::detect

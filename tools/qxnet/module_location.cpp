#include "tools/qxnet/module_location.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace qxcli {

namespace {

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

std::string HomeDirectory() {
  std::string home = Environment("HOME");
  if (!home.empty()) return home;
  if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir) return entry->pw_dir;
  return "/";
}

}  // namespace

std::string ExecutableDirectory() {
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return ".";
  return self.parent_path().string();
}

#ifndef QXNET_INSTALL_LIBDIR
#define QXNET_INSTALL_LIBDIR "lib"
#endif

std::string DefaultModulePath() {
  // The build tree keeps the module in ../lib; an installation in the
  // library folder of the platform (lib, or lib/<multiarch> under /usr).
  const std::filesystem::path bin(ExecutableDirectory());
  std::filesystem::path path = bin / ".." / "lib" / "libqxnet.so";
  std::error_code error;
  const std::filesystem::path installed = bin / ".." / QXNET_INSTALL_LIBDIR / "libqxnet.so";
  if (!std::filesystem::exists(path, error) && std::filesystem::exists(installed, error))
    path = installed;
  const std::filesystem::path canonical = std::filesystem::weakly_canonical(path, error);
  return (error ? path.lexically_normal() : canonical).string();
}

std::string RegistryLocation() {
  std::string path = Environment("QXNET_REGISTRY");
  if (!path.empty()) return path;
  const std::string config = Environment("XDG_CONFIG_HOME");
  if (!config.empty() && config.front() == '/') return config + "/corvane/registry.db";
  return HomeDirectory() + "/.config/corvane/registry.db";
}

std::string SystemRegistryLocation() {
  const std::string path = Environment("QXNET_SYSTEM_REGISTRY");
  return path.empty() ? "/var/lib/qxnet/registry.db" : path;
}

std::string TemporaryDirectory() {
  std::string path = Environment("TMPDIR");
  if (path.empty()) path = "/tmp";
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

}  // namespace qxcli

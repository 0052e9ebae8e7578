#include "detect/dotnet_info.h"

#include <sys/stat.h>

#include <algorithm>
#include <vector>

#include "detect/dotnet_host_locator.h"
#include "detect/install_root_registry.h"
#include "qxnet/text.h"

namespace qx::detect {

namespace {

constexpr const char* kSharedRuntimeFolder = "/shared/Microsoft.NETCore.App/";

std::optional<std::u16string> SharedRuntimeFolderOf(const std::string& host) {
  const std::string folder = host + kSharedRuntimeFolder;
  struct stat info {};
  if (stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return std::nullopt;
  return Utf8ToUtf16(folder);
}

}  // namespace

DotNetInfo BuildDotNetInfo() { return BuildDotNetInfo(DotNetHostCandidates()); }

DotNetInfo BuildDotNetInfo(const std::vector<std::string>& hostCandidates) {
  DotNetInfo info;
  const std::optional<std::string> host = LocateDotNetHost(hostCandidates);
  info.present = host.has_value();
  if (!info.present) return info;

  std::vector<char16_t> buffer(kInstallRootReadCapacity, 0);
  if (ReadInstallRoot(buffer.data(), buffer.size())) {
    info.installRoot = std::u16string(buffer.data());
  } else {
    info.installRoot = SharedRuntimeFolderOf(*host);
  }
  return info;
}

bool CopyInstallRoot(const DotNetInfo& info, char16_t* buffer, size_t capacity) {
  if (!info.installRoot || !buffer || info.installRoot->size() >= capacity) return false;
  std::copy(info.installRoot->begin(), info.installRoot->end(), buffer);
  buffer[info.installRoot->size()] = 0;
  return true;
}

std::optional<std::u16string> InstallRootWithin(const DotNetInfo& info, size_t capacity) {
  std::vector<char16_t> buffer(capacity + 1, 0);
  if (capacity == 0 || !CopyInstallRoot(info, buffer.data(), capacity)) return std::nullopt;
  return std::u16string(buffer.data());
}

}  // namespace qx::detect

#include "detect/runtime_versions.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <optional>

#include "detect/file_version.h"
#include "qxnet/text.h"

namespace qx::detect {

namespace {

// The core library files that mark a folder as a runtime version.
constexpr const char* kCoreLibraries[] = {"/System.Private.CoreLib.dll", "/mscorlib.dll"};

class DirectoryListing {
 public:
  explicit DirectoryListing(const std::string& path) : dir_(opendir(path.c_str())) {}
  ~DirectoryListing() {
    if (dir_) closedir(dir_);
  }
  DirectoryListing(const DirectoryListing&) = delete;
  DirectoryListing& operator=(const DirectoryListing&) = delete;
  DIR* Get() const { return dir_; }

 private:
  DIR* dir_;
};

bool IsFolderEntry(DIR* dir, const dirent* entry) {
  if (entry->d_type == DT_DIR) return true;
  if (entry->d_type != DT_UNKNOWN && entry->d_type != DT_LNK) return false;
  // The type is not known from the listing, or it is a link: ask for the
  // target's type.
  struct stat info {};
  return fstatat(dirfd(dir), entry->d_name, &info, 0) == 0 && S_ISDIR(info.st_mode);
}

bool IsPlainFolderName(std::u16string_view name) {
  return !name.empty() && name != u"." && name != u".." &&
         name.find_first_of(std::u16string_view(u"/\0", 2)) == std::u16string_view::npos;
}

bool IsRegularFile(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

size_t EnumVersionDirectories(const DotNetInfo& info, std::vector<std::u16string>& names) {
  if (!info.present) return 0;
  const std::optional<std::u16string> root = InstallRootWithin(info, kInstallRootListCapacity);
  if (!root || root->empty()) return 0;
  DirectoryListing listing(Utf16ToUtf8(*root));
  if (!listing.Get()) return 0;

  size_t added = 0;
  while (const dirent* entry = readdir(listing.Get())) {
    if (!IsFolderEntry(listing.Get(), entry)) continue;
    const std::string_view name(entry->d_name);
    std::u16string wide = Utf8ToUtf16(name);
    if (Utf16ToUtf8(wide) != name) continue;
    names.push_back(std::move(wide));
    ++added;
  }
  return added;
}

bool IsRuntimeVersionUsable(const DotNetInfo& info, std::u16string_view name) {
  if (!info.present || !IsPlainFolderName(name)) return false;
  const std::optional<std::u16string> root = InstallRootWithin(info, kInstallRootListCapacity);
  if (!root) return false;
  const std::string folder = Utf16ToUtf8(*root + std::u16string(name));
  for (const char* library : kCoreLibraries) {
    if (IsRegularFile(folder + library)) return true;
  }
  return false;
}

std::u16string GetMscorlibVersion(const DotNetInfo& info, std::u16string_view name) {
  if (const std::optional<std::u16string> root =
          InstallRootWithin(info, kInstallRootListCapacity)) {
    std::u16string version = GetFileVersionString(*root + std::u16string(name) + u"/mscorlib.dll");
    if (!version.empty()) return version;
  }
  return std::u16string(kUnknownMscorlibVersion);
}

size_t CollectClrVersions(const DotNetInfo& info, std::vector<std::u16string>& versions) {
  std::vector<std::u16string> names;
  EnumVersionDirectories(info, names);
  size_t added = 0;
  for (const std::u16string& name : names) {
    if (!IsRuntimeVersionUsable(info, name)) continue;
    versions.push_back(GetMscorlibVersion(info, name));
    ++added;
  }
  return added;
}

}  // namespace qx::detect

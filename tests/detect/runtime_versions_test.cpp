// The detector's steps on fake install trees: host search, install root,
// listing, usable versions and their version texts.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "detect/dotnet_host_locator.h"
#include "detect/dotnet_info.h"
#include "detect/runtime_versions.h"
#include "qxnet/text.h"
#include "tests/detect/pe_image_builder.h"
#include "tests/support/com_test.h"

namespace {

using namespace qx::detect;
using detecttest::FakeDotNet;

std::string Root(const std::string& name) { return detecttest::TestFolder(name); }

std::u16string Wide(const std::string& s) { return qx::Utf8ToUtf16(s); }

// The folder's subfolders as the file system lists them, "." and ".."
// included when it yields them.
std::vector<std::u16string> ListedFolders(const std::string& folder) {
  std::vector<std::u16string> names;
  DIR* dir = opendir(folder.c_str());
  if (!dir) return names;
  while (const dirent* entry = readdir(dir)) {
    struct stat info {};
    if (stat((folder + "/" + entry->d_name).c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
      names.push_back(Wide(entry->d_name));
    }
  }
  closedir(dir);
  return names;
}

TEST(DotNetHost, FoundByItsProgramOrItsResolverFolderInCandidateOrder) {
  const std::string empty = Root("empty");
  const std::string program = Root("program");
  const std::string resolver = Root("resolver");
  const std::string notExecutable = Root("not-executable");
  std::filesystem::create_directories(empty);
  std::filesystem::create_directories(resolver + "/host/fxr");
  std::filesystem::create_directories(notExecutable);
  detecttest::WriteFile(notExecutable + "/dotnet", {'x'});
  chmod((notExecutable + "/dotnet").c_str(), 0644);
  FakeDotNet fake(program);

  EXPECT_FALSE(IsDotNetHostFolder(empty));
  EXPECT_FALSE(IsDotNetHostFolder(notExecutable));
  EXPECT_FALSE(IsDotNetHostFolder(Root("missing")));
  EXPECT_TRUE(IsDotNetHostFolder(program));
  EXPECT_TRUE(IsDotNetHostFolder(resolver));

  EXPECT_EQ(LocateDotNetHost({empty, notExecutable, resolver + "//", program}), resolver);
  EXPECT_EQ(LocateDotNetHost({empty, Root("missing")}), std::nullopt);
}

TEST(DotNetHost, CandidatesAreDotNetRootThenSystemFoldersThenHome) {
  setenv("DOTNET_ROOT", "/opt/custom-dotnet", 1);
  setenv("HOME", "/home/someone/", 1);
  EXPECT_EQ(DotNetHostCandidates(),
            (std::vector<std::string>{"/opt/custom-dotnet", "/usr/share/dotnet", "/usr/lib/dotnet",
                                      "/home/someone/.dotnet"}));
  setenv("DOTNET_ROOT", "", 1);
  EXPECT_EQ(DotNetHostCandidates().front(), "/usr/share/dotnet");
}

TEST(DotNetInfoRecord, InstallRootFallsBackToTheSharedRuntimeFolder) {
  detecttest::ClearInstallRootKey();
  FakeDotNet fake(Root("dotnet"));
  DotNetInfo info = BuildDotNetInfo({Root("nothing-here"), fake.Root() + "/"});
  EXPECT_TRUE(info.present);
  EXPECT_EQ(info.installRoot, Wide(fake.SharedFolder()));  // ends in '/'

  // A host without shared runtimes: present, but no install root.
  const std::string bare = Root("bare");
  std::filesystem::create_directories(bare + "/host/fxr");
  for (const auto& [folder, present] : {std::pair{bare, true}, {Root("nothing-here"), false}}) {
    info = BuildDotNetInfo({folder});
    EXPECT_EQ(info.present, present) << folder;
    EXPECT_FALSE(info.installRoot) << folder;
  }
}

TEST(DotNetInfoRecord, CopyInstallRootNeedsRoomForTheTerminator) {
  DotNetInfo info;
  info.present = true;
  char16_t buffer[kInstallRootPathCapacity];
  EXPECT_FALSE(CopyInstallRoot(info, buffer, kInstallRootPathCapacity));

  info.installRoot = std::u16string(kInstallRootPathCapacity - 1, u'a');
  ASSERT_TRUE(CopyInstallRoot(info, buffer, kInstallRootPathCapacity));
  EXPECT_EQ(std::u16string(buffer), *info.installRoot);

  info.installRoot = std::u16string(kInstallRootPathCapacity, u'a');
  EXPECT_FALSE(CopyInstallRoot(info, buffer, kInstallRootPathCapacity));
  EXPECT_EQ(InstallRootWithin(info, kInstallRootListCapacity), info.installRoot);
}

TEST(RuntimeVersions, ListsFoldersInListingOrderAndKeepsOnlyRuntimes) {
  detecttest::ClearInstallRootKey();
  FakeDotNet fake(Root("dotnet"));
  fake.AddRuntime("8.0.1", u"8.0.123.45607 @Commit: abc");
  fake.AddRuntime("6.0.2", u"6.0");
  fake.AddRuntime("5.0.0", std::nullopt);  // mscorlib.dll without a version
  fake.AddOtherFolder("tools");
  detecttest::WriteFile(fake.SharedFolder() + "notes.txt", {'n'});
  // The install root itself holds a core library: "." must still be refused.
  detecttest::WriteFile(fake.SharedFolder() + "mscorlib.dll",
                        detecttest::PeWithFileVersion(u"1.0.0.0"));
  ASSERT_EQ(
      symlink((fake.SharedFolder() + "8.0.1").c_str(), (fake.SharedFolder() + "current").c_str()),
      0);

  const DotNetInfo info = BuildDotNetInfo({fake.Root()});
  std::vector<std::u16string> names;
  const size_t listed = EnumVersionDirectories(info, names);
  EXPECT_EQ(listed, names.size());
  EXPECT_EQ(names, ListedFolders(fake.SharedFolder()));

  std::vector<std::u16string> expected;
  for (const std::u16string& name : names) {
    if (name == u"8.0.1" || name == u"current") expected.push_back(u"8.0.123");
    if (name == u"6.0.2") expected.push_back(u"6.0");
    if (name == u"5.0.0") expected.push_back(std::u16string(kUnknownMscorlibVersion));
  }
  std::vector<std::u16string> versions;
  EXPECT_EQ(CollectClrVersions(info, versions), 4u);
  EXPECT_EQ(versions, expected);

  for (const char16_t* refused :
       {u".", u"..", u"tools", u"notes.txt", u"missing", u"", u"../dotnet", u"8.0.1/"}) {
    EXPECT_FALSE(IsRuntimeVersionUsable(info, refused)) << qxtest::Narrow(refused);
  }
  EXPECT_TRUE(IsRuntimeVersionUsable(info, u"6.0.2"));
  EXPECT_EQ(GetMscorlibVersion(info, u"tools"), kUnknownMscorlibVersion);
}

TEST(RuntimeVersions, NothingWithoutPresenceOrInstallRoot) {
  detecttest::ClearInstallRootKey();
  FakeDotNet fake(Root("dotnet"));
  fake.AddRuntime("8.0.1", u"8.0.1.0");
  DotNetInfo info = BuildDotNetInfo({fake.Root()});
  info.present = false;  // the flag gates every step
  std::vector<std::u16string> names;
  EXPECT_EQ(EnumVersionDirectories(info, names), 0u);
  EXPECT_FALSE(IsRuntimeVersionUsable(info, u"8.0.1"));
  EXPECT_EQ(CollectClrVersions(info, names), 0u);
  EXPECT_TRUE(names.empty());

  info.present = true;
  info.installRoot = std::u16string(kInstallRootListCapacity, u'/');
  EXPECT_EQ(EnumVersionDirectories(info, names), 0u);
  EXPECT_EQ(GetMscorlibVersion(info, u"8.0.1"), kUnknownMscorlibVersion);
}

}  // namespace

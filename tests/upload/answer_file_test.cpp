// Answer files of uploads: unique, private, in the temporary folder, and
// never made by removing or following what stands at a guessable name.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <tuple>

#include "net/upload/answer_file.h"
#include "net/upload/temporary_folder.h"
#include "net/upload/upload_error.h"
#include "tests/support/com_test.h"
#include "tests/support/files.h"

namespace {

namespace fs = std::filesystem;
using qx::net::CreateUploadAnswerFile;

TEST(AnswerFile, UniquePrivateFilesThatLeavePlantedNamesAlone) {
  const std::string folder = qx::net::TemporaryFolder();
  EXPECT_EQ(fs::path(folder), fs::path(qxtest::TestRoot() + "/tmp"));
  const std::string victim = qxtest::TestRoot() + "/victim.txt";
  std::ofstream(victim) << "precious";
  // Names a predictable scheme (prefix, 16-bit number, ".tmp.htm") would use.
  std::set<std::string> planted;
  for (int n = 0; n < 64; ++n) {
    char name[32];
    std::snprintf(name, sizeof name, "/qxN%X.tmp.htm", n);
    ASSERT_EQ(symlink(victim.c_str(), (folder + name).c_str()), 0);
    planted.insert(folder + name);
  }
  const std::string plainFile = folder + "/qxN.htm";
  std::ofstream(plainFile) << "someone else's";

  std::set<std::string> names;
  for (int i = 0; i < 20; ++i) {
    const qx::net::AnswerFile file = CreateUploadAnswerFile();
    ASSERT_TRUE(file.fd.valid());
    const fs::path path(file.path);
    struct stat info {};
    ASSERT_EQ(lstat(file.path.c_str(), &info), 0);
    // A new private regular file, empty, in the folder, at no name taken before.
    EXPECT_EQ(std::make_tuple(path.parent_path(), path.filename().string().substr(0, 3),
                              path.extension(), planted.count(file.path) + (file.path == plainFile),
                              S_ISREG(info.st_mode), info.st_mode & 0777, info.st_size),
              std::make_tuple(fs::path(folder), std::string("qxN"), fs::path(".htm"), size_t{0},
                              true, mode_t{0600}, off_t{0}))
        << file.path;
    EXPECT_EQ(write(file.fd.get(), "ok", 2), 2);
    names.insert(file.path);
  }
  EXPECT_EQ(names.size(), 20u);
  for (const std::string& link : planted) EXPECT_TRUE(fs::is_symlink(link)) << link;
  EXPECT_EQ(qxtest::ReadFile(victim), "precious");
  EXPECT_EQ(qxtest::ReadFile(plainFile), "someone else's");
}

TEST(AnswerFile, TemporaryFolderFromTmpdir) {
  const std::string saved = std::getenv("TMPDIR");
  unsetenv("TMPDIR");
  EXPECT_EQ(qx::net::TemporaryFolder(), "/tmp");
  setenv("TMPDIR", "", 1);
  EXPECT_EQ(qx::net::TemporaryFolder(), "/tmp");
  setenv("TMPDIR", (qxtest::TestRoot() + "/tmp///").c_str(), 1);
  EXPECT_EQ(qx::net::TemporaryFolder(), qxtest::TestRoot() + "/tmp");

  setenv("TMPDIR", (qxtest::TestRoot() + "/no/such/folder").c_str(), 1);
  try {
    CreateUploadAnswerFile();
    ADD_FAILURE() << "no error";
  } catch (const qx::net::UploadError& error) {
    EXPECT_STREQ(error.what(), "Unable to get temporary path");
  }
  setenv("TMPDIR", saved.c_str(), 1);
}

}  // namespace

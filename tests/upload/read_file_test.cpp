// Reading an upload's file: missing, unreadable, special and empty files,
// a sparse 2 GiB file refused from its size alone, and the progress steps.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "net/upload/read_file.h"
#include "net/upload/upload_error.h"
#include "tests/support/com_test.h"

namespace {

using qx::net::ReadFileIntoMemory;

std::string Folder() {
  const std::string folder = qxtest::TestRoot() + "/files";
  std::filesystem::create_directories(folder);
  return folder;
}

std::string WriteFile(const std::string& name, const std::string& content) {
  const std::string path = Folder() + "/" + name;
  std::ofstream(path, std::ios::binary) << content;
  return path;
}

std::string ReadError(const std::string& path, std::vector<std::string>* steps = nullptr) {
  try {
    ReadFileIntoMemory(path, [steps](std::string_view title) {
      if (steps != nullptr) steps->emplace_back(title);
    });
  } catch (const qx::net::UploadError& error) {
    return error.what();
  }
  return "(no error)";
}

long MaxResidentKilobytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

TEST(ReadFile, WholeFileWithItsProgressSteps) {
  const std::string content("bytes\0with\xffzeros\n", 17);
  const std::string path = WriteFile("data.bin", content);
  std::vector<std::string> steps;
  const std::string read =
      ReadFileIntoMemory(path, [&](std::string_view title) { steps.emplace_back(title); });
  EXPECT_EQ(read, content);
  EXPECT_EQ(steps, (std::vector<std::string>{"Reading file into memory",
                                             "Done reading file into memory"}));
  EXPECT_TRUE(qx::net::IsFileReadable(path));
}

TEST(ReadFile, MissingFileAndFolderCannotBeOpened) {
  const std::string missing = Folder() + "/no such file.txt";
  EXPECT_FALSE(qx::net::IsFileReadable(missing));
  EXPECT_EQ(ReadError(missing), "Unable to open file for reading.\n    " + missing);
  EXPECT_EQ(ReadError(Folder()), "Unable to open file for reading.\n    " + Folder());
  EXPECT_EQ(qx::net::UnreadableFileMessage(missing), "Unable to read file:\n\t" + missing);
}

TEST(ReadFile, FifoIsRefusedWithoutBlocking) {
  const std::string path = Folder() + "/pipe";
  ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
  EXPECT_EQ(ReadError(path), "Unable to open file for reading.\n    " + path);
}

TEST(ReadFile, UnreadableFile) {
  const std::string path = WriteFile("secret.txt", "x");
  ASSERT_EQ(chmod(path.c_str(), 0), 0);
  if (access(path.c_str(), R_OK) == 0) GTEST_SKIP() << "permissions do not stop reads here";
  EXPECT_FALSE(qx::net::IsFileReadable(path));
  EXPECT_EQ(ReadError(path), "Unable to open file for reading.\n    " + path);
}

TEST(ReadFile, EmptyFileIsRefusedAfterTheFirstStep) {
  const std::string path = WriteFile("empty.txt", "");
  std::vector<std::string> steps;
  EXPECT_EQ(ReadError(path, &steps), "Unable to read file\n   " + path);
  EXPECT_EQ(steps, std::vector<std::string>{"Reading file into memory"});
}

TEST(ReadFile, TwoGibibyteFileIsRefusedWithoutReadingIt) {
  const std::string path = Folder() + "/huge.bin";
  const int fd = open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0600);
  ASSERT_GE(fd, 0);
  const int truncated = ftruncate(fd, off_t{1} << 31);
  close(fd);
  if (truncated != 0) GTEST_SKIP() << "no sparse 2 GiB file possible here";

  const long before = MaxResidentKilobytes();
  EXPECT_EQ(ReadError(path), "Unable to read file\n   " + path);
  EXPECT_LT(MaxResidentKilobytes() - before, 64 * 1024) << "memory grew with the file's size";

  // Larger files (beyond any 32-bit length) are refused the same way.
  ASSERT_EQ(truncate(path.c_str(), off_t{5} << 30), 0);
  EXPECT_EQ(ReadError(path), "Unable to read file\n   " + path);
  EXPECT_LT(MaxResidentKilobytes() - before, 64 * 1024);
}

TEST(ReadFile, CancelInAProgressStepPassesThrough) {
  const std::string path = WriteFile("data.txt", "abc");
  EXPECT_THROW(ReadFileIntoMemory(path, [](std::string_view) { throw std::runtime_error("Canceled"); }),
               std::runtime_error);
}

}  // namespace

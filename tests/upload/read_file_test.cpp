// Reading an upload's file: missing, unreadable, special and empty files,
// a sparse 2 GiB file refused from its size alone, and the progress steps.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "net/upload/read_file.h"
#include "net/upload/upload_error.h"
#include "tests/support/com_test.h"
#include "tests/support/files.h"

namespace {

using qx::net::ReadFileIntoMemory;
using Steps = std::vector<std::string>;

using qxtest::WriteTempFile;

std::string ReadError(const std::string& path, Steps* steps = nullptr) {
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
  const std::string path = WriteTempFile("data.bin", content);
  Steps steps;
  EXPECT_EQ(ReadFileIntoMemory(path, [&](std::string_view title) { steps.emplace_back(title); }),
            content);
  EXPECT_EQ(steps, (Steps{"Reading file into memory", "Done reading file into memory"}));
  EXPECT_TRUE(qx::net::IsFileReadable(path));
  // A cancel thrown from a progress step passes through.
  EXPECT_THROW(
      ReadFileIntoMemory(path, [](std::string_view) { throw std::runtime_error("Canceled"); }),
      std::runtime_error);
}

TEST(ReadFile, FilesThatCannotBeOpened) {
  const std::string missing = qxtest::TempPath("no such file.txt");
  const std::string fifo = qxtest::TempPath("pipe");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);  // refused without blocking
  const std::string secret = WriteTempFile("secret.txt", "x");
  ASSERT_EQ(chmod(secret.c_str(), 0), 0);
  std::vector<std::string> paths = {missing, qxtest::TestRoot(), fifo};
  if (access(secret.c_str(), R_OK) != 0) paths.push_back(secret);
  for (const std::string& path : paths) {
    EXPECT_EQ(ReadError(path), "Unable to open file for reading.\n    " + path);
  }
  EXPECT_FALSE(qx::net::IsFileReadable(missing));
  EXPECT_EQ(qx::net::UnreadableFileMessage(missing), "Unable to read file:\n\t" + missing);
}

TEST(ReadFile, EmptyFileIsRefusedAfterTheFirstStep) {
  const std::string path = WriteTempFile("empty.txt", "");
  Steps steps;
  EXPECT_EQ(ReadError(path, &steps), "Unable to read file\n   " + path);
  EXPECT_EQ(steps, Steps{"Reading file into memory"});
}

TEST(ReadFile, HugeFilesAreRefusedWithoutReadingThem) {
  const std::string path = qxtest::TempPath("huge.bin");
  const int fd = open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0600);
  ASSERT_GE(fd, 0);
  const int truncated = ftruncate(fd, off_t{1} << 31);
  close(fd);
  if (truncated != 0) GTEST_SKIP() << "no sparse 2 GiB file possible here";
  const long before = MaxResidentKilobytes();
  for (const off_t size : {off_t{1} << 31, off_t{5} << 30}) {
    ASSERT_EQ(truncate(path.c_str(), size), 0);
    EXPECT_EQ(ReadError(path), "Unable to read file\n   " + path);
    EXPECT_LT(MaxResidentKilobytes() - before, 64 * 1024) << "memory grew with the file's size";
  }
}

}  // namespace

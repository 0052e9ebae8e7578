// The copy of a download onto the caller's destination: every way of
// copying gives the whole file, replaces the destination in one step, keeps
// a replaced file's permissions and leaves it as it was when the copy fails.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "net/download/output_file.h"
#include "tests/support/com_test.h"
#include "tests/support/files.h"

namespace fs = std::filesystem;
using qx::net::CopyWay;

namespace {

// Bytes that differ from position to position, so that a piece copied
// twice or skipped shows.
std::string Pattern(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + i / 4096) & 0xFF);
  return bytes;
}

TEST(DestinationCopy, EveryWayCopiesTheWholeFileOrLeavesTheDestination) {
  const std::string folder = qxtest::TestRoot() + "/copies";
  fs::create_directories(folder);
  const std::string source = folder + "/source.bin";
  const std::string destination = folder + "/destination.bin";
  // Empty, one byte, one more than the buffered copy's buffer, several buffers.
  const size_t sizes[] = {0, 1, (size_t{1} << 20) + 1, (size_t{3} << 20) + 4093};
  for (CopyWay way : {CopyWay::Clone, CopyWay::KernelCopy, CopyWay::Buffered}) {
    for (size_t size : sizes) {
      SCOPED_TRACE("way " + std::to_string(static_cast<int>(way)) + ", " + std::to_string(size) +
                   " bytes");
      const std::string bytes = Pattern(size);
      { std::ofstream(source, std::ios::binary) << bytes; }
      { std::ofstream(destination, std::ios::binary) << std::string(size + 100, 'x'); }
      ASSERT_EQ(chmod(destination.c_str(), 0640), 0);
      ASSERT_TRUE(qx::net::CopyFileReplacing(source, destination, way)) << strerror(errno);
      EXPECT_TRUE(qxtest::ReadFile(destination) == bytes);
      struct stat info {};
      ASSERT_EQ(stat(destination.c_str(), &info), 0);
      EXPECT_EQ(info.st_mode & 0777, 0640u);
      // Only the two files: no temporary copy is left in the folder.
      EXPECT_EQ(qxtest::FolderEntries(folder).size(), 2u);
    }
    // A failed copy (a folder opens for reading but yields no bytes) leaves
    // the destination as it was.
    { std::ofstream(destination, std::ios::binary) << "kept"; }
    EXPECT_FALSE(qx::net::CopyFileReplacing(folder, destination, way));
    EXPECT_EQ(qxtest::ReadFile(destination), "kept");
    EXPECT_EQ(qxtest::FolderEntries(folder).size(), 2u);
  }
}

}  // namespace

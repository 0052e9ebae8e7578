#include "tests/support/files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/support/com_test.h"

namespace qxtest {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  EXPECT_TRUE(out.good()) << "cannot write " << path;
}

std::string TempPath(const std::string& name) { return TestRoot() + "/" + name; }

std::string WriteTempFile(const std::string& name, const std::string& bytes) {
  const std::string path = TempPath(name);
  WriteFile(path, bytes);
  return path;
}

std::string MakeTestFolder(const std::string& prefix) {
  static int serial = 0;
  const std::string folder = TempPath(prefix + "-" + std::to_string(++serial));
  std::filesystem::create_directories(folder);
  return folder;
}

std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    names.push_back(entry.path().filename().string());
  }
  return names;
}

}  // namespace qxtest

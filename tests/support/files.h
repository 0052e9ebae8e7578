// Files of the tests: whole-file reads and writes, and names in the test
// process's private folder.
#pragma once

#include <string>
#include <vector>

namespace qxtest {

// The whole content of a file ("" when it cannot be read).
std::string ReadFile(const std::string& path);
// Replaces the content of a file with `bytes`.
void WriteFile(const std::string& path, const std::string& bytes);

// A path named `name` in the test process's private folder.
std::string TempPath(const std::string& name);
// Writes `bytes` to TempPath(name) and gives that path.
std::string WriteTempFile(const std::string& name, const std::string& bytes);

// A new, empty folder of the calling test's own in the private folder.
std::string MakeTestFolder(const std::string& prefix);

// The names in `folder`, without "." and "..".
std::vector<std::string> FolderEntries(const std::string& folder);

}  // namespace qxtest

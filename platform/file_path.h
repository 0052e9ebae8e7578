// Splitting a file path (UTF-8, '/' separated) for the code that creates a
// file beside another one.
#pragma once

#include <string>

namespace qx {

// The folder holding `path`: "." when the path names no folder, "/" for a
// file at the root.
inline std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

}  // namespace qx

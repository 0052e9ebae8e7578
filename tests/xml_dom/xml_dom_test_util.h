// File helpers for the XML DOM tests.
#pragma once

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "tests/support/com_test.h"

namespace xmltest {

inline std::string PathInRoot(const std::string& name) { return qxtest::TestRoot() + "/" + name; }

inline std::u16string Wide(const std::string& utf8) { return std::u16string(utf8.begin(), utf8.end()); }

inline std::string WriteFile(const std::string& name, const std::string& bytes) {
  const std::string path = PathInRoot(name);
  std::ofstream(path, std::ios::binary) << bytes;
  return path;
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace xmltest

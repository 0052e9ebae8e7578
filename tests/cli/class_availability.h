// End-to-end tests need the library's classes; while a class has not been
// built into the module yet, the tests that use it are skipped.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "qxnet/qxnetlib.h"

namespace clitest {

// Registers the module into this test's registry (which the child
// processes inherit) and returns the names of the classes among `classes`
// that the module cannot create yet.
std::string MissingClasses(std::initializer_list<std::pair<const CLSID*, const char*>> classes);

}  // namespace clitest

#define QXTEST_REQUIRE_CLASSES(...)                                                      \
  do {                                                                                 \
    const std::string missing = ::clitest::MissingClasses({__VA_ARGS__});              \
    if (!missing.empty()) GTEST_SKIP() << "not yet available in the module:" << missing; \
  } while (0)

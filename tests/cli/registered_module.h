// Fixture for end-to-end tests that create the library's classes: the module
// is registered into this test's registry, which the child processes inherit.
#pragma once

#include <gtest/gtest.h>

#include "tests/support/com_test.h"

namespace clitest {

class RegisteredModuleTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(qxtest::RegisterModule(), S_OK); }
};

}  // namespace clitest

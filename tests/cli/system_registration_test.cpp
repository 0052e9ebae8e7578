// Registration for every user through the binary: the machine's database
// serves a user who registered nothing, and a machine database that cannot
// be written is refused. How the user's classes layer over the machine's is
// the registry's own test.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/cli/cli_runner.h"
#include "tests/support/com_test.h"

namespace clitest {
namespace {

// A fresh user and a machine database of their own, in a folder of the test.
struct FreshUser {
  std::string folder;
  EnvOverrides env;

  explicit FreshUser(const std::string& name) : folder(qxtest::TestRoot() + "/" + name) {
    std::filesystem::create_directories(folder);
    env = {{"QXNET_REGISTRY", folder + "/user.db"},
           {"QXNET_SYSTEM_REGISTRY", folder + "/machine.db"}};
  }
};

TEST(CliSystemRegistration, MachineRegistrationServesAFreshUserOrIsRefusedWhenUnwritable) {
  FreshUser user("system-registration");
  const RunResult registered = RunQxnet({"register", "--system"}, user.env);
  ASSERT_EQ(registered.exit_code, 0) << registered.err;
  EXPECT_NE(registered.out.find(user.folder + "/machine.db"), std::string::npos) << registered.out;
  const RunResult call = RunQxnet({"call", "QXNet.UpdateItem", "title"}, user.env);
  EXPECT_EQ(call.exit_code, 0) << call.err;
  EXPECT_FALSE(std::filesystem::exists(user.folder + "/user.db"))
      << "registering for every user wrote the user's database";
  ASSERT_EQ(RunQxnet({"unregister", "--system"}, user.env).exit_code, 0);
  EXPECT_NE(RunQxnet({"call", "QXNet.UpdateItem", "title"}, user.env).exit_code, 0);

  // A plain file where the machine database's folder should be.
  const std::string blocker = user.folder + "/not-a-folder";
  { std::ofstream(blocker) << "x"; }
  user.env["QXNET_SYSTEM_REGISTRY"] = blocker + "/registry.db";
  for (const char* command : {"register", "unregister"}) {
    SCOPED_TRACE(command);
    const RunResult refused = RunQxnet({command, "--system"}, user.env);
    EXPECT_EQ(refused.exit_code, 1);
    EXPECT_NE(refused.err.find("refused"), std::string::npos) << refused.err;
    EXPECT_NE(refused.err.find(blocker), std::string::npos) << refused.err;
  }
  EXPECT_FALSE(std::filesystem::exists(user.folder + "/user.db"));
}

}  // namespace
}  // namespace clitest

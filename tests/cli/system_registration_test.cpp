// Registration for every user through the binary: the machine's database
// serves a user who registered nothing, the user's own registration wins
// over it, and a machine database that cannot be written is refused.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/cli/cli_runner.h"
#include "tests/support/com_test.h"

namespace clitest {
namespace {

const char kUpdateItemServer[] =
    "HKCR\\CLSID\\{1BACC645-FB55-4237-B947-0F87DC33FCD4}\\InprocServer32";

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

std::string RegisteredServer(const EnvOverrides& env) {
  const RunResult query = RunQxnet({"--json", "reg", "query", kUpdateItemServer}, env);
  if (query.exit_code != 0) return "<" + query.err + ">";
  const nlohmann::json document = query.Json();
  for (const auto& value : document["values"])
    if (value["name"] == "") return value["data"];
  return "<no default value>";
}

TEST(CliSystemRegistration, MachineRegistrationServesAFreshUserAndTheUsersOwnWins) {
  const FreshUser user("system-registration");
  const RunResult registered = RunQxnet({"register", "--system"}, user.env);
  ASSERT_EQ(registered.exit_code, 0) << registered.err;
  EXPECT_NE(registered.out.find(user.folder + "/machine.db"), std::string::npos) << registered.out;
  const RunResult call = RunQxnet({"call", "QXNet.UpdateItem", "title"}, user.env);
  EXPECT_EQ(call.exit_code, 0) << call.err;
  EXPECT_FALSE(std::filesystem::exists(user.folder + "/user.db"))
      << "registering for every user wrote the user's database";
  const std::string machineServer = RegisteredServer(user.env);

  // The user's own copy of the module, registered for the user only.
  const std::filesystem::path binary(QXTEST_QXNET_BINARY);
  const std::string own = user.folder + "/own/libqxnet.so";
  std::filesystem::create_directories(user.folder + "/own");
  std::filesystem::copy_file(binary.parent_path() / ".." / "lib" / "libqxnet.so", own);
  ASSERT_EQ(RunQxnet({"register", own}, user.env).exit_code, 0);
  EXPECT_EQ(RegisteredServer(user.env), own);
  EXPECT_EQ(RunQxnet({"call", "QXNet.UpdateItem", "title"}, user.env).exit_code, 0);

  // Removing either registration uncovers the other; removing both leaves
  // the class unregistered.
  ASSERT_EQ(RunQxnet({"unregister", own}, user.env).exit_code, 0);
  EXPECT_EQ(RegisteredServer(user.env), machineServer);
  ASSERT_EQ(RunQxnet({"unregister", "--system"}, user.env).exit_code, 0);
  EXPECT_NE(RunQxnet({"call", "QXNet.UpdateItem", "title"}, user.env).exit_code, 0);
}

TEST(CliSystemRegistration, UnwritableMachineDatabaseIsRefusedAndNothingIsWritten) {
  FreshUser user("unwritable-machine");
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

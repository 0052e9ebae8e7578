// update: the update pass twice, and moves between the catalog's lists that
// are still there when the catalog is read again; then the demo.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/cli/cli_runner.h"
#include "tests/cli/cli_server.h"
#include "tests/cli/registered_module.h"
#include "tests/support/com_test.h"

namespace clitest {
namespace {

using CliDemo = RegisteredModuleTest;
using CliUpdate = RegisteredModuleTest;

TEST_F(CliUpdate, SecondPassWaitsUntilDueOrForced) {
  CliServer server;
  const std::string catalog = qxtest::TestRoot() + "/catalog.xml";
  nlohmann::json document =
      RunQxnetJson({"update", "--catalog", catalog, "--feed", server.Url("/feed.xml")});
  EXPECT_EQ(document["checked"], true);
  EXPECT_EQ(document["newCatalog"], true);
  EXPECT_EQ(document["added"], 3);
  ASSERT_EQ(document["items"].size(), 3u);
  EXPECT_EQ(document["items"][0]["guid"], "test-1");  // oldest first
  EXPECT_EQ(document["items"][2]["guid"], "test-3");
  for (const auto& item : document["items"]) EXPECT_EQ(item["status"], "Pending");
  ASSERT_TRUE(std::filesystem::exists(catalog));

  // Not due again for a day: the pass is skipped and nothing changes.
  document = RunQxnetJson({"update", "--catalog", catalog});
  EXPECT_EQ(document["checked"], false);
  EXPECT_EQ(document["feed"], server.Url("/feed.xml"));  // kept in the catalog
  EXPECT_EQ(document["items"].size(), 3u);

  // Forced: the feed is read again (what a pass adds is the reconciliation's rule).
  EXPECT_EQ(RunQxnetJson({"update", "--catalog", catalog, "--force"})["checked"], true);

  const RunResult table = RunQxnet({"update", "--catalog", catalog});
  ASSERT_EQ(table.exit_code, 0);
  EXPECT_NE(table.out.find("2024-06-01 10:00:00  Pending"), std::string::npos) << table.out;
}

TEST_F(CliUpdate, MovesAreVisibleAfterReloading) {
  CliServer server;
  const std::string catalog = qxtest::TestRoot() + "/catalog.xml";
  ASSERT_EQ(RunQxnet({"update", "--catalog", catalog, "--feed", server.Url("/feed.xml")}).exit_code,
            0);

  const RunResult install = RunQxnet({"update", "--catalog", catalog, "install", "TEST-3"});
  ASSERT_EQ(install.exit_code, 0) << install.err;
  ASSERT_EQ(RunQxnet({"update", "--catalog", catalog, "discard", "test-1"}).exit_code, 0);

  // A new process loads the file: the lists say where each item is.
  const auto statuses = [&] {
    return StatusByGuid(RunQxnetJson({"update", "--catalog", catalog}));
  };
  using Statuses = std::map<std::string, std::string>;
  EXPECT_EQ(statuses(),
            (Statuses{{"test-1", "Discarded"}, {"test-2", "Pending"}, {"test-3", "Installed"}}));

  // Back to the pending list: the third verb.
  ASSERT_EQ(RunQxnet({"update", "--catalog", catalog, "pending", "test-1"}).exit_code, 0);
  EXPECT_EQ(statuses()["test-1"], "Pending");

  // An unknown guid fails the call and moves nothing, not even the known one.
  const RunResult unknown =
      RunQxnet({"update", "--catalog", catalog, "install", "test-2", "no-such-guid"});
  EXPECT_EQ(unknown.exit_code, 1);
  EXPECT_NE(unknown.err.find("no-such-guid"), std::string::npos);
  EXPECT_EQ(statuses()["test-2"], "Pending");

  // A catalog that does not exist is a usage error, with or without an action.
  const std::string none = qxtest::TestRoot() + "/none.xml";
  EXPECT_EQ(RunQxnet({"update", "--catalog", none, "install", "x"}).exit_code, 2);
  EXPECT_EQ(RunQxnet({"update", "--catalog", none}).exit_code, 2);
}

TEST_F(CliDemo, RunsToTheEndWithATemporaryRegistry) {
  // An empty registry: the demo registers the module into one of its own.
  const std::string user_cache = qxtest::TestRoot() + "/demo-user-cache";
  const RunResult demo =
      RunQxnet({"demo", "--json"}, {{"QXNET_REGISTRY", qxtest::TestRoot() + "/empty-registry.db"},
                                    {"QXNET_CACHE_DIR", user_cache}});
  ASSERT_EQ(demo.exit_code, 0) << demo.err;
  const nlohmann::json document = demo.Json();
  EXPECT_EQ(document["added"], 4);
  EXPECT_EQ(document["installed"], "corvane-11.0.8");
  const auto statuses = StatusByGuid(document);
  EXPECT_EQ(statuses.at("corvane-11.0.8"), "Installed");
  EXPECT_EQ(statuses.at("corvane-11.0.7"), "Pending");
  const auto& files = document["files"];
  EXPECT_NE(files["registry"].get<std::string>().find("qxnet-demo-"), std::string::npos);
  EXPECT_TRUE(std::filesystem::exists(files["catalog"].get<std::string>()));
  const std::string download = ReadFile(files["download"].get<std::string>());
  EXPECT_EQ(download.rfind("Corvane sample update package", 0), 0u);
  // The demo's internet cache is a folder of its own, like its registry.
  const std::string folder = files["folder"].get<std::string>();
  EXPECT_EQ(files["cache"], folder + "/inetcache");
  EXPECT_EQ(files["download"].get<std::string>().rfind(folder + "/", 0), 0u);
  EXPECT_TRUE(std::filesystem::is_directory(files["cache"].get<std::string>()));
  EXPECT_FALSE(std::filesystem::exists(user_cache));
  // With --json no progress lines are written.
  EXPECT_EQ(demo.err.find("Download complete"), std::string::npos) << demo.err;
}

}  // namespace
}  // namespace clitest

// Usage errors and the registry store, through the built binary.
#include <gtest/gtest.h>

#include "tests/cli/cli_runner.h"

namespace clitest {
namespace {

TEST(CliUsage, BadCommandLinesExitWithTwoHelpWithZero) {
  const std::vector<std::vector<std::string>> bad = {
      {},                                            // no command
      {"no-such-command"},                           //
      {"get"},                                       // URL missing
      {"probe", "localhost", "not-a-port"},          //
      {"upload-form", "file", "http://127.0.0.1/"},  // --field missing
      {"reg", "add", "HKXX\\Software\\Test"},        // unknown root
      {"reg", "add", "HKCU\\T", "-v", "n", "-t", "REG_DWORD", "-d", "forty"},
      {"reg", "add", "HKCU\\T", "-v", "n", "-t", "REG_DWORD", "-d", "4294967296"},
      {"reg", "add", "HKCU\\T", "-v", "n", "-t", "REG_BINARY", "-d", "abc"},
      {"reg", "add", "HKCU\\T", "-v", "n", "-t", "REG_TEXT", "-d", "x"},
      {"update", "--catalog", "c.xml", "install"},       // no guid
      {"update", "--catalog", "c.xml", "upgrade", "g"},  // unknown action
      {"call", "QXNet.UpdateItem"},                      // nothing to do
  };
  for (const auto& args : bad) {
    const RunResult result = RunQxnet(args);
    std::string line;
    for (const auto& a : args) line += a + " ";
    EXPECT_EQ(result.exit_code, 2) << line << "\n" << result.err;
    EXPECT_FALSE(result.err.empty()) << line;
  }

  // Help succeeds; with --json a usage error is reported as a document.
  EXPECT_EQ(RunQxnet({"--help"}).exit_code, 0);
  const RunResult help = RunQxnet({"reg", "add", "--help"});
  EXPECT_EQ(help.exit_code, 0);
  EXPECT_NE(help.out.find("--type"), std::string::npos);

  const RunResult refused = RunQxnet({"--json", "reg", "query", "HKXX\\Nothing"});
  EXPECT_EQ(refused.exit_code, 2);
  const nlohmann::json document = refused.Json();
  EXPECT_EQ(document["error"]["exit"], 2);
  EXPECT_NE(document["error"]["description"].get<std::string>().find("HKXX"), std::string::npos);
}

TEST(CliRegistry, TypedValuesRoundTripThroughTheStore) {
  const std::string key = "HKCU\\Software\\Corvane\\CliTest";
  const std::vector<std::vector<std::string>> adds = {
      {"-v", "Name", "-d", "Grüße, world"},
      {"-v", "Count", "-t", "REG_DWORD", "-d", "0x2a"},
      {"-v", "Big", "-t", "REG_QWORD", "-d", "8589934592"},
      {"-v", "List", "-t", "REG_MULTI_SZ", "-d", "one", "-d", "two"},
      {"-v", "Blob", "-t", "REG_BINARY", "-d", "01 ab:FF"},
      {"-v", "", "-d", "the default"}};
  for (const auto& add : adds) {
    std::vector<std::string> args = {"reg", "add", key};
    args.insert(args.end(), add.begin(), add.end());
    ASSERT_EQ(RunQxnet(args).exit_code, 0) << add[1];
  }
  ASSERT_EQ(RunQxnet({"reg", "add", key + "\\Child"}).exit_code, 0);

  // Forward slashes and the long root name reach the same key.
  const nlohmann::json document =
      RunQxnetJson({"reg", "query", "HKEY_CURRENT_USER/Software/Corvane/CliTest"});
  EXPECT_EQ(document["key"], "HKCU\\Software\\Corvane\\CliTest");
  std::map<std::string, std::pair<std::string, nlohmann::json>> values;  // name: type, data
  for (const auto& value : document["values"])
    values[value["name"]] = {value["type"], value["data"]};
  EXPECT_EQ(values,
            (decltype(values){{"Name", {"REG_SZ", "Grüße, world"}},
                              {"Count", {"REG_DWORD", 42}},
                              {"Big", {"REG_QWORD", 8589934592ull}},
                              {"List", {"REG_MULTI_SZ", nlohmann::json::array({"one", "two"})}},
                              {"Blob", {"REG_BINARY", "01 ab ff"}},
                              {"", {"REG_SZ", "the default"}}}));
  EXPECT_EQ(document["subkeys"], nlohmann::json({"Child"}));

  // One value, as text.
  const RunResult one = RunQxnet({"reg", "query", key, "-v", "count"});
  ASSERT_EQ(one.exit_code, 0);
  EXPECT_NE(one.out.find("0x0000002a (42)"), std::string::npos) << one.out;

  // Deleting a value, then the whole key: reading them afterwards is a failed call.
  ASSERT_EQ(RunQxnet({"reg", "delete", key, "-v", "Count"}).exit_code, 0);
  const RunResult gone = RunQxnet({"reg", "query", key, "-v", "Count"});
  EXPECT_EQ(gone.exit_code, 1);
  EXPECT_NE(gone.err.find("does not exist"), std::string::npos) << gone.err;
  ASSERT_EQ(RunQxnet({"reg", "delete", key}).exit_code, 0);
  EXPECT_EQ(RunQxnet({"reg", "query", key + "\\Child"}).exit_code, 1);
  EXPECT_EQ(RunQxnet({"reg", "delete", key}).exit_code, 1);
  EXPECT_EQ(RunQxnet({"reg", "delete", "HKCU"}).exit_code, 2);
}

}  // namespace
}  // namespace clitest

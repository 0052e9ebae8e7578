// get: downloads with and without -o, the progress display, failures and
// cancelling with Ctrl-C (SIGINT).
#include <signal.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/cli/cli_runner.h"
#include "tests/cli/cli_server.h"
#include "tests/cli/registered_module.h"
#include "tests/support/com_test.h"
#include "tests/support/loopback_sockets.h"

namespace clitest {
namespace {

using CliConnectivity = RegisteredModuleTest;
using CliGet = RegisteredModuleTest;

TEST_F(CliGet, DownloadsIntoTheCacheOrToTheNamedFile) {
  CliServer server;
  const RunResult cached = RunQxnet({"get", server.Url("/file.bin")});
  ASSERT_EQ(cached.exit_code, 0) << cached.err;
  const std::string cache_path = cached.out.substr(0, cached.out.find('\n'));
  EXPECT_EQ(ReadFile(cache_path), FileBody());
  // Standard error is a pipe here: no progress unless asked for.
  EXPECT_EQ(cached.err, "");

  // Asked for with --progress: plain progress lines, no redrawing.
  const RunResult lines = RunQxnet({"--progress", "get", server.Url("/file.bin")});
  ASSERT_EQ(lines.exit_code, 0) << lines.err;
  EXPECT_NE(lines.err.find("100%  Download complete\n"), std::string::npos) << lines.err;
  EXPECT_EQ(lines.err.find('\r'), std::string::npos);

  const std::string target = qxtest::TestRoot() + "/copy.bin";
  EXPECT_EQ(RunQxnetJson({"get", server.Url("/file.bin"), "-o", target})["file"], target);
  EXPECT_EQ(ReadFile(target), FileBody());

  // --json and --no-progress silence the progress even when asked for.
  for (const char* silencer : {"--json", "--no-progress"}) {
    const RunResult quiet = RunQxnet({"--progress", silencer, "get", server.Url("/file.bin")});
    ASSERT_EQ(quiet.exit_code, 0) << silencer;
    EXPECT_EQ(quiet.err, "") << silencer;
  }

  // On a terminal the progress is redrawn in place.
  const RunResult terminal = RunQxnetOnTerminal({"get", server.Url("/file.bin")});
  ASSERT_EQ(terminal.exit_code, 0) << terminal.out;
  EXPECT_NE(terminal.out.find("\r["), std::string::npos) << terminal.out;
  EXPECT_NE(terminal.out.find("\033[K"), std::string::npos);
  EXPECT_NE(terminal.out.find("] 100%  Download complete"), std::string::npos) << terminal.out;
}

TEST_F(CliGet, CurrentCachedCopyIsReusedUnlessForced) {
  CliServer server;
  const std::string url = server.Url("/dated.bin");
  const nlohmann::json first = RunQxnetJson({"get", url});
  EXPECT_EQ(first["reused"], false);

  // The same path again, asked with a HEAD request only.
  const nlohmann::json again = RunQxnetJson({"get", url});
  EXPECT_EQ(again["reused"], true);
  EXPECT_EQ(again["file"], first["file"]);
  EXPECT_EQ(server.DatedDownloads(), 1);

  const std::string target = qxtest::TestRoot() + "/reused.bin";
  EXPECT_EQ(RunQxnetJson({"get", url, "-o", target})["file"], target);
  EXPECT_EQ(ReadFile(target), FileBody());
  EXPECT_EQ(server.DatedDownloads(), 1);

  const nlohmann::json forced = RunQxnetJson({"get", "--force", url});
  EXPECT_EQ(forced["reused"], false);
  EXPECT_EQ(server.DatedDownloads(), 2);
  EXPECT_EQ(ReadFile(forced["file"]), FileBody());
}

TEST_F(CliGet, CacheCommandListsDescribesRemovesAndClears) {
  CliServer server;
  ASSERT_EQ(RunQxnet({"cache", "clear"}).exit_code, 0);  // what earlier tests left
  ASSERT_EQ(RunQxnet({"get", server.Url("/dated.bin")}).exit_code, 0);
  ASSERT_EQ(RunQxnet({"get", server.Url("/file.bin")}).exit_code, 0);

  const nlohmann::json listed = RunQxnetJson({"cache", "list"});
  ASSERT_EQ(listed["entries"].size(), 2u);
  for (const auto& entry : listed["entries"]) {
    EXPECT_EQ(entry["size"], kFileSize);
    EXPECT_EQ(ReadFile(entry["file"]), FileBody());
    EXPECT_FALSE(entry["last_used"].get<std::string>().empty());
    if (entry["url"] == server.Url("/dated.bin")) {
      EXPECT_EQ(entry["last_modified"], "2015-10-21 07:28:00");
    }
  }

  const nlohmann::json info = RunQxnetJson({"cache", "info"}, {{"QXNET_CACHE_LIMIT", "5M"}});
  EXPECT_EQ(info["limit"], 5u << 20);
  EXPECT_EQ(info["total_size"], 2 * kFileSize);
  EXPECT_EQ(info["entries"], 2);

  // Removed by the URL as written, not only as the cache keys it.
  const RunResult removed = RunQxnet({"cache", "remove", server.Url("/./dated.bin")});
  ASSERT_EQ(removed.exit_code, 0) << removed.err;
  EXPECT_EQ(RunQxnet({"cache", "remove", server.Url("/dated.bin")}).exit_code, 1);
  EXPECT_EQ(RunQxnetJson({"cache", "list"})["entries"].size(), 1u);
  EXPECT_EQ(RunQxnetJson({"cache", "clear"})["removed"], 1);
  EXPECT_TRUE(RunQxnetJson({"cache", "list"})["entries"].empty());
}

TEST_F(CliGet, FailedDownloadsReportTheErrorRecord) {
  CliServer server;
  const RunResult missing = RunQxnet({"get", server.Url("/missing")});
  EXPECT_EQ(missing.exit_code, 1);
  EXPECT_NE(missing.err.find("qxnet: "), std::string::npos);

  const RunResult ftp = RunQxnet({"--json", "get", "ftp://127.0.0.1/file"});
  EXPECT_EQ(ftp.exit_code, 1);
  const nlohmann::json document = ftp.Json();
  EXPECT_EQ(document["error"]["code"], "0x80004005");
  EXPECT_NE(document["error"]["description"].get<std::string>().find("Invalid URL."),
            std::string::npos);
}

TEST_F(CliGet, CtrlCCancelsTheDownload) {
  CliServer server;
  const std::string target = qxtest::TestRoot() + "/never.bin";
  RunningQxnet child({"--progress", "get", server.Url("/slow.bin"), "-o", target});
  ASSERT_TRUE(child.WaitForError("Downloading file ("));
  child.Signal(SIGINT);
  const RunResult result = child.Finish();
  EXPECT_EQ(result.exit_code, 130) << result.err;
  EXPECT_NE(result.err.find("qxnet: Canceled"), std::string::npos) << result.err;
  EXPECT_EQ(result.out, "");
}

TEST_F(CliConnectivity, YesNoCommandsAnswerThroughTheExitStatus) {
  CliServer server;
  const std::string port = server.Url("").substr(server.Url("").rfind(':') + 1);
  const std::string closed_port = std::to_string(qxtest::ClosedPort());
  struct Case {
    std::vector<std::string> args;
    int exit_code;
    const char* output;  // on standard output (text) or standard error (usage)
  };
  const Case cases[] = {
      {{"validate", "https://example.invalid/x"}, 0, "valid"},
      {{"validate", "ftp://127.0.0.1/x"}, 1, "invalid"},
      {{"can-connect", server.Url("/file.bin")}, 0, "reachable"},
      {{"can-connect", "http://127.0.0.1:" + closed_port + "/"}, 1, "not reachable"},
      {{"probe", "127.0.0.1", port, "--timeout", "5000"}, 0, "open"},
      {{"probe", "127.0.0.1", closed_port, "--timeout", "5000"}, 1, "closed"},
      {{"probe", "127.0.0.1", "0"}, 2, "Invalid host or port"},
      {{"probe", "127.0.0.1"}, 2, "PORT"},
  };
  for (const Case& c : cases) {
    const RunResult result = RunQxnet(c.args);
    SCOPED_TRACE(c.args[0] + " " + c.args[1]);
    EXPECT_EQ(result.exit_code, c.exit_code) << result.err;
    const std::string& where = c.exit_code == 2 ? result.err : result.out;
    EXPECT_NE(where.find(c.output), std::string::npos) << where;
  }
  // The reason a URL is not valid is told on standard error, or in JSON.
  EXPECT_NE(RunQxnet({"validate", "ftp://127.0.0.1/x"}).err.find("Invalid URL."),
            std::string::npos);
  const RunResult json = RunQxnet({"--json", "validate", "ftp://127.0.0.1/x"});
  EXPECT_EQ(json.exit_code, 1);
  EXPECT_EQ(json.Json()["valid"], false);
  EXPECT_NE(json.Json()["reason"].get<std::string>().find("Invalid URL."), std::string::npos);
}

TEST_F(CliConnectivity, AFailureIsNotANo) {
  // Without registered classes the question cannot be asked at all: exit 3,
  // with the way out in the message.
  const EnvOverrides empty = {{"QXNET_REGISTRY", qxtest::TestRoot() + "/empty.db"}};
  for (std::vector<std::string> args : std::vector<std::vector<std::string>>{
           {"online"}, {"validate", "https://example.invalid/"}, {"probe", "127.0.0.1", "9"}}) {
    const RunResult result = RunQxnet(args, empty);
    EXPECT_EQ(result.exit_code, 3) << args[0] << ": " << result.err;
    EXPECT_NE(result.err.find("QXNet.QXNet is not registered; run `qxnet register`"),
              std::string::npos)
        << result.err;
  }
  // Other commands keep exit status 1 for a failure.
  EXPECT_EQ(RunQxnet({"get", "http://127.0.0.1:9/"}, empty).exit_code, 1);
}

}  // namespace
}  // namespace clitest

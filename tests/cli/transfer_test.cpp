// get: downloads with and without -o, the progress display, failures and
// cancelling with Ctrl-C (SIGINT).
#include <signal.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/cli/registered_module.h"
#include "tests/cli/cli_runner.h"
#include "tests/cli/loopback_server.h"
#include "tests/support/com_test.h"

namespace clitest {
namespace {

using CliConnectivity = RegisteredModuleTest;
using CliGet = RegisteredModuleTest;


TEST_F(CliGet, DownloadsIntoTheCacheOrToTheNamedFile) {
  LoopbackServer server;
  const RunResult cached = RunQxnet({"get", server.Url("/file.bin")});
  ASSERT_EQ(cached.exit_code, 0) << cached.err;
  const std::string cache_path = cached.out.substr(0, cached.out.find('\n'));
  EXPECT_EQ(ReadFile(cache_path), FileBody());

  // Standard error is a pipe here: plain progress lines, no redrawing.
  EXPECT_NE(cached.err.find("Downloading file ("), std::string::npos) << cached.err;
  EXPECT_NE(cached.err.find("100%  Download complete\n"), std::string::npos) << cached.err;
  EXPECT_EQ(cached.err.find('\r'), std::string::npos);

  const std::string target = qxtest::TestRoot() + "/copy.bin";
  const RunResult copied = RunQxnet({"--json", "get", server.Url("/file.bin"), "-o", target});
  ASSERT_EQ(copied.exit_code, 0) << copied.err;
  EXPECT_EQ(copied.Json()["file"], target);
  EXPECT_EQ(ReadFile(target), FileBody());

  const RunResult quiet = RunQxnet({"get", "--no-progress", server.Url("/file.bin")});
  ASSERT_EQ(quiet.exit_code, 0);
  EXPECT_EQ(quiet.err, "");
}

TEST_F(CliGet, CurrentCachedCopyIsReusedUnlessForced) {
  LoopbackServer server;
  const std::string url = server.Url("/dated.bin");
  const RunResult first = RunQxnet({"--json", "get", url});
  ASSERT_EQ(first.exit_code, 0) << first.err;
  EXPECT_EQ(first.Json()["reused"], false);
  const std::string cache_path = first.Json()["file"];

  // The same path again, asked with a HEAD request only.
  const RunResult again = RunQxnet({"--json", "get", url});
  ASSERT_EQ(again.exit_code, 0) << again.err;
  EXPECT_EQ(again.Json()["reused"], true);
  EXPECT_EQ(again.Json()["file"], cache_path);
  EXPECT_EQ(server.DatedDownloads(), 1);

  const std::string target = qxtest::TestRoot() + "/reused.bin";
  const RunResult copied = RunQxnet({"--json", "get", url, "-o", target});
  ASSERT_EQ(copied.exit_code, 0) << copied.err;
  EXPECT_EQ(copied.Json()["file"], target);
  EXPECT_EQ(ReadFile(target), FileBody());
  EXPECT_EQ(server.DatedDownloads(), 1);

  const RunResult forced = RunQxnet({"--json", "get", "--force", url});
  ASSERT_EQ(forced.exit_code, 0) << forced.err;
  EXPECT_EQ(forced.Json()["reused"], false);
  EXPECT_EQ(server.DatedDownloads(), 2);
  EXPECT_EQ(ReadFile(forced.Json()["file"]), FileBody());
}

TEST_F(CliGet, CacheCommandListsDescribesRemovesAndClears) {
  LoopbackServer server;
  ASSERT_EQ(RunQxnet({"cache", "clear"}).exit_code, 0);  // what earlier tests left
  ASSERT_EQ(RunQxnet({"get", server.Url("/dated.bin")}).exit_code, 0);
  ASSERT_EQ(RunQxnet({"get", server.Url("/file.bin")}).exit_code, 0);

  const nlohmann::json listed = RunQxnet({"--json", "cache", "list"}).Json();
  ASSERT_EQ(listed["entries"].size(), 2u);
  for (const auto& entry : listed["entries"]) {
    EXPECT_EQ(entry["size"], kFileSize);
    EXPECT_EQ(ReadFile(entry["file"]), FileBody());
    EXPECT_FALSE(entry["last_used"].get<std::string>().empty());
    if (entry["url"] == server.Url("/dated.bin")) {
      EXPECT_EQ(entry["last_modified"], "2015-10-21 07:28:00");
    }
  }

  const RunResult info = RunQxnet({"--json", "cache", "info"}, {{"QXNET_CACHE_LIMIT", "5M"}});
  ASSERT_EQ(info.exit_code, 0) << info.err;
  EXPECT_EQ(info.Json()["limit"], 5u << 20);
  EXPECT_EQ(info.Json()["total_size"], 2 * kFileSize);
  EXPECT_EQ(info.Json()["entries"], 2);

  // Removed by the URL as written, not only as the cache keys it.
  const RunResult removed = RunQxnet({"cache", "remove", server.Url("/./dated.bin")});
  ASSERT_EQ(removed.exit_code, 0) << removed.err;
  EXPECT_EQ(RunQxnet({"cache", "remove", server.Url("/dated.bin")}).exit_code, 1);
  EXPECT_EQ(RunQxnet({"--json", "cache", "list"}).Json()["entries"].size(), 1u);

  const RunResult cleared = RunQxnet({"--json", "cache", "clear"});
  ASSERT_EQ(cleared.exit_code, 0) << cleared.err;
  EXPECT_EQ(cleared.Json()["removed"], 1);
  EXPECT_TRUE(RunQxnet({"--json", "cache", "list"}).Json()["entries"].empty());
}

TEST_F(CliGet, FailedDownloadsReportTheErrorRecord) {
  LoopbackServer server;
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
  LoopbackServer server;
  const std::string target = qxtest::TestRoot() + "/never.bin";
  RunningQxnet child({"get", server.Url("/slow.bin"), "-o", target});
  ASSERT_TRUE(child.WaitForError("Downloading file ("));
  child.Signal(SIGINT);
  const RunResult result = child.Finish();
  EXPECT_EQ(result.exit_code, 130) << result.err;
  EXPECT_NE(result.err.find("qxnet: Canceled"), std::string::npos) << result.err;
  EXPECT_EQ(result.out, "");
}

TEST_F(CliGet, ProgressRedrawsInPlaceOnATerminal) {
  LoopbackServer server;
  const RunResult result = RunQxnetOnTerminal({"get", server.Url("/file.bin")});
  ASSERT_EQ(result.exit_code, 0) << result.out;
  EXPECT_NE(result.out.find("\r["), std::string::npos) << result.out;
  EXPECT_NE(result.out.find("\033[K"), std::string::npos);
  EXPECT_NE(result.out.find("] 100%  Download complete"), std::string::npos) << result.out;
}

TEST_F(CliConnectivity, ValidateAndProbe) {
  LoopbackServer server;
  const RunResult valid = RunQxnet({"validate", "https://example.invalid/x"});
  EXPECT_EQ(valid.exit_code, 0) << valid.err;
  const RunResult invalid = RunQxnet({"validate", "ftp://127.0.0.1/x"});
  EXPECT_EQ(invalid.exit_code, 1);
  EXPECT_NE(invalid.err.find("Invalid URL."), std::string::npos) << invalid.err;

  const std::string port = server.Url("").substr(server.Url("").rfind(':') + 1);
  const RunResult open = RunQxnet({"--json", "probe", "127.0.0.1", port, "--timeout", "5000"});
  ASSERT_EQ(open.exit_code, 0) << open.err;
  EXPECT_EQ(open.Json()["connected"], true);
  EXPECT_EQ(RunQxnet({"probe", "127.0.0.1", "0"}).exit_code, 1);  // "Invalid parameter"
}

}  // namespace
}  // namespace clitest

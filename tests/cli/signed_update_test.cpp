// keygen, sign and update install --download: a signed payload is installed,
// and a payload that does not verify or download leaves nothing behind, with
// the reason in the message. Which check refuses which tampering is the
// verifier's own test.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "tests/cli/cli_runner.h"
#include "tests/cli/registered_module.h"
#include "tests/support/com_test.h"
#include "tests/support/files.h"
#include "tests/support/loopback_server.h"
#include "tests/support/registry_dump.h"

namespace clitest {
namespace {

using CliSignedUpdate = RegisteredModuleTest;

// Serves /feed.xml (set by the test) and /payload/NAME bodies.
class PayloadServer {
 public:
  PayloadServer() {
    server_.http().Get("/feed.xml", [this](const httplib::Request&, httplib::Response& response) {
      response.set_content(feed_, "application/rss+xml");
    });
    server_.http().Get(R"(/payload/(\w+))",
                       [this](const httplib::Request& request, httplib::Response& response) {
                         auto found = bodies_.find(request.matches[1]);
                         if (found == bodies_.end()) {
                           response.status = 404;
                           return;
                         }
                         response.set_content(found->second, "application/octet-stream");
                       });
    server_.Start();
  }
  std::string Url(const std::string& path) const { return server_.Url(path); }

  std::string feed_;
  std::map<std::string, std::string> bodies_;

 private:
  qxtest::LoopbackServer server_;  // last: stopped before the state its handlers use
};

TEST_F(CliSignedUpdate, OnlyAVerifiedPayloadIsInstalledAndAFailureLeavesNothing) {
  const std::string root = qxtest::TestRoot();
  const std::string key = root + "/publisher.key";
  const RunResult keygen = RunQxnet({"--json", "keygen", "--key", key});
  ASSERT_EQ(keygen.exit_code, 0) << keygen.err;
  struct stat info {};
  ASSERT_EQ(stat(key.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  const std::string publicKey = keygen.Json()["publicKey"];
  EXPECT_EQ(RunQxnet({"keygen", "--key", key}).exit_code, 2);  // never overwritten

  PayloadServer server;
  const std::string payload(100000, 'u');
  WriteFile(root + "/payload.bin", payload);
  const nlohmann::json signature = RunQxnetJson(
      {"sign", "--key", key, "--url", server.Url("/payload/NAME"), root + "/payload.bin"});
  EXPECT_EQ(signature["publicKey"], publicKey);
  EXPECT_EQ(signature["length"], payload.size());

  // Each item names its own address; the enclosure line is the one sign printed.
  std::string feed = "<?xml version='1.0'?><rss version='2.0'><channel><title>T</title>";
  const auto addItem = [&](const std::string& guid) {
    std::string enclosure = signature["enclosure"];
    enclosure.replace(enclosure.find("NAME"), 4, guid);
    feed += "<item><guid>" + guid + "</guid><pubDate>Sat, 01 Jun 2024 10:00:00 GMT</pubDate>" +
            enclosure + "</item>";
  };
  std::string flipped = payload;
  flipped[4000] = 'v';
  const std::map<std::string, std::string> bodies = {
      {"good", payload}, {"flipped", flipped}, {"missing", ""}};
  for (const auto& [guid, body] : bodies) {
    addItem(guid);
    if (guid != "missing") server.bodies_[guid] = body;
  }
  server.feed_ = feed + "</channel></rss>";
  qxtest::WriteRegistryString(HKEY_LOCAL_MACHINE, qxtest::kProductKey, u"Update Public Key",
                              qx::Utf8ToUtf16(publicKey));

  const std::string catalog = root + "/signed-catalog.xml";
  ASSERT_EQ(RunQxnet({"update", "--catalog", catalog, "--feed", server.Url("/feed.xml")}).exit_code,
            0);
  const std::string downloads = root + "/downloads";
  std::filesystem::create_directories(downloads);

  const struct {
    std::string guid;
    std::string message;
  } failures[] = {
      {"flipped", "The file's SHA-256 does not match the feed"},
      {"missing", "404"},
  };
  for (const auto& failure : failures) {
    SCOPED_TRACE(failure.guid);
    const RunResult install = RunQxnet({"--json", "--no-progress", "update", "--catalog", catalog,
                                        "install", failure.guid, "--download", downloads});
    EXPECT_EQ(install.exit_code, 1);
    EXPECT_NE(install.err.find(failure.message), std::string::npos) << install.err;
    EXPECT_TRUE(std::filesystem::is_empty(downloads));
    EXPECT_EQ(StatusByGuid(RunQxnetJson({"update", "--catalog", catalog}))[failure.guid],
              "Pending");
  }

  const nlohmann::json document = RunQxnetJson({"--no-progress", "update", "--catalog", catalog,
                                                "install", "good", "--download", downloads});
  EXPECT_EQ(StatusByGuid(document)["good"], "Installed");
  EXPECT_EQ(document["downloads"][0]["file"], downloads + "/good");
  EXPECT_EQ(ReadFile(downloads + "/good"), payload);
}

}  // namespace
}  // namespace clitest

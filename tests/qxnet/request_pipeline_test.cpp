// The request chain through RetrieveFile: the status table, authentication
// from netrc, redirects, and the per-host connection cache.
#include <cstdlib>
#include <fstream>

#include "net/request_pipeline/http_status_text.h"
#include "qxnet/text.h"
#include "tests/qxnet/qxnet_fixture.h"
#include "tests/support/loopback_sockets.h"

namespace qxnettest {
namespace {

std::string DescriptionOf(HRESULT hr) {
  EXPECT_EQ(hr, E_FAIL);
  return qxtest::TakeErrorText();
}

// A few statuses of distinct kinds: without a body, a redirect without its
// target, a client and a server error, and one the table does not know.
TEST_F(QXNetTest, EveryStatusButSuccessFailsWithItsTableTextNoStatusWithTheSendMessage) {
  auto net = NewObject(sink);
  const std::pair<int, const char*> cases[] = {
      {204, nullptr},
      {302, nullptr},
      {404,
       "(404) The server has not found anything matching the requested URI (Uniform Resource "
       "Identifier)."},
      {503, nullptr},
      {418, "(418) Unidentified status code"},
  };
  for (const auto& [status, text] : cases) {
    std::string path;
    const std::string message =
        DescriptionOf(Retrieve(net.Get(), Url("/status/" + std::to_string(status)), path));
    EXPECT_EQ(message, qx::Utf16ToUtf8(qx::net::HttpStatusMessage(status))) << status;
    if (text) {
      EXPECT_EQ(message, text);
    }
  }
  EXPECT_TRUE(CacheFiles().empty());

  // No status at all: a server that cannot be reached.
  std::string path;
  const std::string message = DescriptionOf(
      Retrieve(net.Get(), "http://127.0.0.1:" + std::to_string(qxtest::ClosedPort()) + "/x", path));
  EXPECT_EQ(message.rfind("Unable to send http request : 12029\n", 0), 0u) << message;
  EXPECT_EQ(sink->ends, static_cast<int>(std::size(cases)) + 1);
}

TEST_F(QXNetTest, RedirectIsFollowedAndCachedUnderTheAskedUrl) {
  auto net = NewObject();
  std::string path;
  ASSERT_EQ(Retrieve(net.Get(), Url("/moved"), path), S_OK);
  EXPECT_EQ(ReadFile(path), std::string(2048, 'a'));
  EXPECT_TRUE(IsCached(Url("/moved")));
}

TEST_F(QXNetTest, NetrcCredentialsAreOfferedAfter401) {
  std::ofstream(std::getenv("NETRC")) << "machine 127.0.0.1 login user password secret\n";
  std::string path;
  ASSERT_EQ(Retrieve(NewObject(sink).Get(), Url("/auth"), path), S_OK);
  ASSERT_GE(sink->reports.size(), 12u);
  EXPECT_EQ(std::vector<Report>(sink->reports.begin() + 7, sink->reports.begin() + 12),
            (std::vector<Report>{{"Sending HTTP request", 8},
                                 {"Getting HTTP status", 9},
                                 {"Authenticating", 10},
                                 {"Getting HTTP status", 11},
                                 {"HTTP request sent", 12}}));

  // How often credentials are offered is the HTTP client's rule; here the
  // message a refused login ends in (a new object: no session remembers them).
  std::ofstream(std::getenv("NETRC")) << "machine 127.0.0.1 login user password wrong\n";
  EXPECT_EQ(DescriptionOf(Retrieve(NewObject(sink).Get(), Url("/auth"), path)), "Unable to login");
  EXPECT_EQ(sink->ends, 2);
}

TEST_F(QXNetTest, ConnectionCacheKeepsOneConnectionPerHostAndPort) {
  qxtest::LoopbackServer other;
  AddTestRoutes(other.http(), other.stopping);
  other.Start();
  auto net = NewObject();
  std::string path;
  for (const std::string name : {"/small.xml", "/empty"}) {
    ASSERT_EQ(Retrieve(net.Get(), Url(name), path), S_OK);
    ASSERT_EQ(Retrieve(net.Get(), other.Url(name), path), S_OK);
  }
  EXPECT_EQ(server->ConnectionCount(), 1u);
  EXPECT_EQ(other.ConnectionCount(), 1u);
}

}  // namespace
}  // namespace qxnettest

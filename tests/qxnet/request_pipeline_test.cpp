// The request chain through RetrieveFile: the status table, authentication
// from netrc, redirects, the per-host connection cache and certificates.
#include <cstdlib>
#include <fstream>

#include "net/request_pipeline/http_status_text.h"
#include "platform/com/text.h"
#include "tests/qxnet/qxnet_fixture.h"

namespace qxnettest {
namespace {

std::string DescriptionOf(HRESULT hr) {
  EXPECT_EQ(hr, E_FAIL);
  return qxtest::Narrow(qxtest::TakeErrorRecord().description);
}

TEST_F(QXNetTest, EveryStatusButSuccessFailsWithItsTableText) {
  auto net = NewObject(sink);
  const int statuses[] = {201, 202, 203, 204, 205, 206, 300, 301, 302, 303, 304, 305,
                          307, 400, 402, 403, 404, 405, 406, 408, 409, 410, 411, 412,
                          413, 414, 415, 449, 500, 501, 502, 503, 504, 505, 418, 299};
  for (int status : statuses) {
    std::string path;
    const std::string message =
        DescriptionOf(Retrieve(net.Get(), Url("/status/" + std::to_string(status)), path));
    EXPECT_EQ(message, qx::Utf16ToUtf8(qx::net::HttpStatusMessage(status))) << status;
    EXPECT_EQ(message.rfind("(" + std::to_string(status) + ") ", 0), 0u) << message;
  }
  EXPECT_EQ(qx::Utf16ToUtf8(qx::net::HttpStatusMessage(404)),
            "(404) The server has not found anything matching the requested URI (Uniform "
            "Resource Identifier).");
  EXPECT_EQ(qx::Utf16ToUtf8(qx::net::HttpStatusMessage(418)), "(418) Unidentified status code");
  EXPECT_EQ(sink->ends, static_cast<int>(std::size(statuses)));
  EXPECT_TRUE(CacheFiles().empty());
  // A failed request keeps the host's connection in the object.
  EXPECT_LE(server->ConnectionCount(), std::size(statuses));
}

TEST_F(QXNetTest, RedirectIsFollowedToTheFinalResource) {
  auto net = NewObject();
  std::string path;
  ASSERT_EQ(Retrieve(net.Get(), Url("/moved"), path), S_OK);
  std::ifstream in(path, std::ios::binary);
  std::string body((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(body, std::string(2048, 'a'));
  // The entry is recorded under the URL that was asked for.
  EXPECT_TRUE(IsCached(Url("/moved")));
}

class AuthenticationTest : public QXNetTest {
 protected:
  void WriteNetrc(const std::string& password) {
    std::ofstream(std::getenv("NETRC"))
        << "machine 127.0.0.1 login user password " << password << "\n";
  }
};

TEST_F(AuthenticationTest, NetrcCredentialsAreOfferedAfter401) {
  WriteNetrc("secret");
  auto net = NewObject(sink);
  std::string path;
  ASSERT_EQ(Retrieve(net.Get(), Url("/auth"), path), S_OK);
  std::vector<Report> send(sink->reports.begin() + 7, sink->reports.begin() + 11);
  EXPECT_EQ(send, (std::vector<Report>{{"Sending HTTP request", 8},
                                       {"Getting HTTP status", 9},
                                       {"Authenticating", 10},
                                       {"Getting HTTP status", 11}}));
  EXPECT_EQ(sink->reports[11], Report("HTTP request sent", 12));
}

TEST_F(AuthenticationTest, WrongCredentialsEndInUnableToLogin) {
  WriteNetrc("wrong");
  auto net = NewObject(sink);
  std::string path;
  EXPECT_EQ(DescriptionOf(Retrieve(net.Get(), Url("/auth"), path)), "Unable to login");
  EXPECT_EQ(sink->ends, 1);
  // The wrong password was offered once, then the provider had nothing more.
  int authentications = 0;
  for (const auto& report : sink->reports) authentications += report.first == "Authenticating";
  EXPECT_EQ(authentications, 2);
}

TEST_F(AuthenticationTest, NoCredentialsEndInUnableToLogin) {
  auto net = NewObject();
  std::string path;
  EXPECT_EQ(DescriptionOf(Retrieve(net.Get(), Url("/auth"), path)), "Unable to login");
}

TEST_F(QXNetTest, ConnectionCacheKeepsOneConnectionPerHostAndPort) {
  inettest::LoopbackServer other;
  AddTestRoutes(other.http(), other.stopping);
  other.Start();
  auto net = NewObject();
  std::string path;
  ASSERT_EQ(Retrieve(net.Get(), Url("/small.xml"), path), S_OK);
  ASSERT_EQ(Retrieve(net.Get(), other.Url("/small.xml"), path), S_OK);
  ASSERT_EQ(Retrieve(net.Get(), Url("/empty"), path), S_OK);
  ASSERT_EQ(Retrieve(net.Get(), other.Url("/empty"), path), S_OK);
  // Each server got exactly its own requests, over one connection each.
  EXPECT_EQ(server->ConnectionCount(), 1u);
  EXPECT_EQ(other.ConnectionCount(), 1u);
}

TEST_F(QXNetTest, UnreachableServerFailsWithTheSendMessage) {
  int port = 0;
  {
    inettest::LoopbackServer closed;
    closed.Start();
    port = closed.port();
  }
  auto net = NewObject(sink);
  std::string path;
  const std::string message = DescriptionOf(
      Retrieve(net.Get(), "http://127.0.0.1:" + std::to_string(port) + "/x", path));
  EXPECT_EQ(message.rfind("Unable to send http request : 12029\n", 0), 0u) << message;
  EXPECT_EQ(sink->ends, 1);
}

class TlsDownloadTest : public QXNetTest {
 protected:
  std::unique_ptr<inettest::LoopbackServer> TlsServer(inettest::CertificateKind kind) {
    const auto files = inettest::MakeCertificates(qxtest::TestRoot(), kind);
    setenv("QXNET_CA_BUNDLE", files.caCert.c_str(), 1);
    auto tls = std::make_unique<inettest::LoopbackServer>(
        std::make_unique<httplib::SSLServer>(files.serverCert.c_str(), files.serverKey.c_str()));
    AddTestRoutes(tls->http(), tls->stopping);
    tls->Start();
    return tls;
  }
  std::string SecureUrl(int port) {
    return "https://127.0.0.1:" + std::to_string(port) + "/small.xml";
  }
};

TEST_F(TlsDownloadTest, TrustedCertificateDownloads) {
  auto tls = TlsServer(inettest::CertificateKind::Valid);
  auto net = NewObject();
  std::string path;
  ASSERT_EQ(Retrieve(net.Get(), SecureUrl(tls->port()), path), S_OK);
  EXPECT_TRUE(IsCached(SecureUrl(tls->port())));
}

TEST_F(TlsDownloadTest, WrongHostAndExpiredCertificatesAreRefused) {
  for (auto kind : {inettest::CertificateKind::WrongHost, inettest::CertificateKind::Expired}) {
    auto tls = TlsServer(kind);
    auto net = NewObject(sink);
    std::string path;
    const std::string message = DescriptionOf(Retrieve(net.Get(), SecureUrl(tls->port()), path));
    EXPECT_EQ(message.rfind("Unable to send http request : 120", 0), 0u) << message;
    EXPECT_FALSE(IsCached(SecureUrl(tls->port())));
  }
  EXPECT_TRUE(CacheFiles().empty());
}

}  // namespace
}  // namespace qxnettest

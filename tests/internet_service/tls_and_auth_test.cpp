// Certificate checks and authentication through the credential provider.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "net/internet_service/internet_service.h"
#include "platform/com/text.h"
#include "tests/internet_service/loopback_server.h"

using namespace qx::inet;
using inettest::CertificateKind;
using inettest::LoopbackServer;

namespace {

std::string TempFolder() {
  const char* tmp = std::getenv("TMPDIR");
  return tmp ? std::string(tmp) : std::string("/tmp/");
}

// GET over https (secure flag) from 127.0.0.1:port; the last error on failure.
struct SecureGet {
  explicit SecureGet(int port, DWORD flags = INTERNET_FLAG_SECURE) {
    session = InternetOpenW(u"agent", 0, nullptr, nullptr, 0);
    connection = InternetConnectW(session, u"127.0.0.1", static_cast<INTERNET_PORT>(port), nullptr,
                                  nullptr, INTERNET_SERVICE_HTTP, 0, 0);
    request = HttpOpenRequestW(connection, nullptr, u"/", nullptr, nullptr, nullptr, flags, 0);
    ok = HttpSendRequestW(request, nullptr, 0, nullptr, 0) == TRUE;
    error = ok ? 0 : GetLastError();
  }
  ~SecureGet() {
    InternetCloseHandle(request);
    InternetCloseHandle(connection);
    InternetCloseHandle(session);
  }
  HINTERNET session, connection, request;
  bool ok;
  DWORD error;
};

std::unique_ptr<LoopbackServer> TlsServer(CertificateKind kind) {
  const auto files = inettest::MakeCertificates(TempFolder(), kind);
  setenv("QXNET_CA_BUNDLE", files.caCert.c_str(), 1);
  auto server = std::make_unique<LoopbackServer>(
      std::make_unique<httplib::SSLServer>(files.serverCert.c_str(), files.serverKey.c_str()));
  server->http().Get("/", [](const httplib::Request&, httplib::Response& response) {
    response.set_content("secret", "text/plain");
  });
  server->Start();
  return server;
}

TEST(TlsTest, TrustedCertificateIsAccepted) {
  auto server = TlsServer(CertificateKind::Valid);
  SecureGet get(server->port());
  ASSERT_TRUE(get.ok) << get.error;
  char body[16] = {};
  DWORD got = 0;
  ASSERT_TRUE(InternetReadFile(get.request, body, sizeof body, &got));
  EXPECT_EQ(std::string(body, got), "secret");
}

TEST(TlsTest, UnknownAuthorityIsRefused) {
  auto server = TlsServer(CertificateKind::Valid);
  unsetenv("QXNET_CA_BUNDLE");
  SecureGet get(server->port());
  EXPECT_FALSE(get.ok);
  EXPECT_EQ(get.error, ERROR_INTERNET_INVALID_CA);
}

TEST(TlsTest, WrongHostIsRefusedEvenWhenAskedToIgnore) {
  auto server = TlsServer(CertificateKind::WrongHost);
  SecureGet get(server->port(), INTERNET_FLAG_SECURE | INTERNET_FLAG_IGNORE_CERT_CN_INVALID |
                                    INTERNET_FLAG_IGNORE_CERT_DATE_INVALID);
  EXPECT_FALSE(get.ok);
  EXPECT_EQ(get.error, ERROR_INTERNET_SEC_CERT_CN_INVALID) << qx::Utf16ToUtf8(GetErrorMessage(get.error));
  EXPECT_FALSE(GetErrorMessage(get.error).empty());
}

TEST(TlsTest, ExpiredCertificateIsRefusedEvenWhenAskedToIgnore) {
  auto server = TlsServer(CertificateKind::Expired);
  SecureGet get(server->port(), INTERNET_FLAG_SECURE | INTERNET_FLAG_IGNORE_CERT_DATE_INVALID);
  EXPECT_FALSE(get.ok);
  EXPECT_EQ(get.error, ERROR_INTERNET_SEC_CERT_DATE_INVALID) << qx::Utf16ToUtf8(GetErrorMessage(get.error));
}

class AuthTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server.http().Get("/secret", [this](const httplib::Request& request, httplib::Response& response) {
      // "alice:right"
      if (request.get_header_value("Authorization") == "Basic YWxpY2U6cmlnaHQ=") {
        response.set_content("welcome", "text/plain");
        return;
      }
      ++refusals;
      response.status = 401;
      response.set_header("WWW-Authenticate", "Basic realm=\"updates\"");
    });
    server.Start();
  }
  void TearDown() override { SetCredentialPrompt(nullptr); }

  static void WriteNetrc(const std::string& password) {
    std::ofstream(std::getenv("NETRC")) << "machine other.invalid login bob password x\n"
                                        << "machine 127.0.0.1\n  login alice\n  password " << password
                                        << "\n";
  }

  // Sends, asking the provider on 401 as the request pipeline does; the
  // final status, or 0 when the provider gave up.
  DWORD SendWithLogin(int& rounds) {
    HINTERNET session = InternetOpenW(u"agent", 0, nullptr, nullptr, 0);
    HINTERNET connection = InternetConnectW(session, u"127.0.0.1", static_cast<INTERNET_PORT>(server.port()),
                                            nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
    HINTERNET request = HttpOpenRequestW(connection, nullptr, u"/secret", nullptr, nullptr, nullptr, 0, 0);
    DWORD result = 0;
    for (rounds = 1; rounds < 10; ++rounds) {
      EXPECT_TRUE(HttpSendRequestW(request, nullptr, 0, nullptr, 0));
      DWORD status = 0;
      DWORD size = sizeof status;
      HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr);
      if (status != 401) {
        result = status;
        break;
      }
      if (InternetErrorDlg(nullptr, request, ERROR_INTERNET_INCORRECT_PASSWORD, 7, nullptr) !=
          ERROR_INTERNET_FORCE_RETRY) {
        break;
      }
    }
    InternetCloseHandle(request);
    InternetCloseHandle(connection);
    InternetCloseHandle(session);
    return result;
  }

  LoopbackServer server;
  std::atomic<int> refusals{0};
};

TEST_F(AuthTest, NetrcCredentialsLogIn) {
  WriteNetrc("right");
  int rounds = 0;
  EXPECT_EQ(SendWithLogin(rounds), 200u);
  EXPECT_EQ(rounds, 2);
}

TEST_F(AuthTest, WrongCredentialsAreNotOfferedAgain) {
  WriteNetrc("wrong");
  int rounds = 0;
  EXPECT_EQ(SendWithLogin(rounds), 0u);
  EXPECT_EQ(refusals, 2);  // first without, then once with the netrc entry
}

TEST_F(AuthTest, PromptIsAskedAfterNetrcAndNeverLoops) {
  WriteNetrc("wrong");
  std::vector<CredentialQuery> asked;
  SetCredentialPrompt([&](const CredentialQuery& query, Credentials& answer) {
    asked.push_back(query);
    answer = Credentials{"alice", asked.size() == 1 ? "right" : "again"};
    return true;
  });
  int rounds = 0;
  EXPECT_EQ(SendWithLogin(rounds), 200u);
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].host, "127.0.0.1");
  EXPECT_EQ(asked[0].realm, "updates");
  EXPECT_EQ(asked[0].attempt, 2);

  // A prompt that repeats the credentials that just failed ends the login.
  SetCredentialPrompt([](const CredentialQuery&, Credentials& answer) {
    answer = Credentials{"alice", "wrong"};
    return true;
  });
  refusals = 0;
  EXPECT_EQ(SendWithLogin(rounds), 0u);
  EXPECT_EQ(refusals, 2);
}

}  // namespace

// Certificate checks and authentication through the credential provider.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <utility>
#include <vector>

#include "net/internet_service/internet_service.h"
#include "qxnet/text.h"
#include "tests/internet_service/exchange.h"
#include "tests/support/loopback_server.h"

using namespace qx::inet;
using qxtest::CertificateKind;
using qxtest::LoopbackServer;

namespace {

// GET `path` from 127.0.0.1:port, asking the credential provider on 401 as
// the request pipeline does. The final status, or 0 when the send failed or
// the provider gave up; the send error in `error`.
DWORD Get(int port, const char16_t* path, DWORD flags, DWORD* error = nullptr,
          std::string* body = nullptr) {
  inettest::Exchange exchange(port, nullptr, qx::Utf16ToUtf8(path), flags);
  for (int round = 0; round < 10; ++round) {
    if (!exchange.Send()) {
      if (error) *error = GetLastError();
      return 0;
    }
    const DWORD status = exchange.Status();
    if (status != 401) {
      if (body) exchange.ReadAll(*body);
      return status;
    }
    if (InternetErrorDlg(nullptr, exchange.request, ERROR_INTERNET_INCORRECT_PASSWORD, 7,
                         nullptr) != ERROR_INTERNET_FORCE_RETRY) {
      return 0;
    }
  }
  return 0;
}

TEST(TlsTest, OnlyAFullyValidCertificateIsAccepted) {
  const DWORD ignoreAll = INTERNET_FLAG_SECURE | INTERNET_FLAG_IGNORE_CERT_CN_INVALID |
                          INTERNET_FLAG_IGNORE_CERT_DATE_INVALID;
  const struct {
    CertificateKind kind;
    bool trustAuthority;
    DWORD error;  // 0: accepted
  } cases[] = {{CertificateKind::Valid, true, 0},
               {CertificateKind::Valid, false, ERROR_INTERNET_INVALID_CA},
               // The ignore flags are not honoured.
               {CertificateKind::WrongHost, true, ERROR_INTERNET_SEC_CERT_CN_INVALID},
               {CertificateKind::Expired, true, ERROR_INTERNET_SEC_CERT_DATE_INVALID}};
  int serial = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(serial);
    const std::string folder =
        std::string(std::getenv("TMPDIR")) + "/certs" + std::to_string(++serial);
    std::filesystem::create_directories(folder);
    const auto files = qxtest::MakeCertificates(folder, c.kind);
    if (c.trustAuthority)
      setenv("QXNET_CA_BUNDLE", files.caCert.c_str(), 1);
    else
      unsetenv("QXNET_CA_BUNDLE");
    LoopbackServer server(
        std::make_unique<httplib::SSLServer>(files.serverCert.c_str(), files.serverKey.c_str()));
    inettest::ServeText(server, "secret");
    DWORD error = 0;
    std::string body;
    const DWORD status = Get(server.port(), u"/", ignoreAll, &error, &body);
    EXPECT_EQ(error, c.error) << qx::Utf16ToUtf8(GetErrorMessage(error));
    EXPECT_EQ(status, c.error ? 0u : 200u);
    EXPECT_EQ(body, c.error ? "" : "secret");
    if (c.error) {
      // The message says what the code means before what the TLS layer said.
      std::vector<OLECHAR> meaning(512);
      const DWORD length =
          FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                         0, meaning.data(), 512, nullptr);
      std::u16string expected(meaning.data(), length);
      while (!expected.empty() && (expected.back() == u'\n' || expected.back() == u'\r'))
        expected.pop_back();
      ASSERT_FALSE(expected.empty());
      EXPECT_EQ(GetErrorMessage(error).rfind(expected, 0), 0u)
          << qx::Utf16ToUtf8(GetErrorMessage(error));
    }
  }
}

TEST(TlsTest, TrustComesFromTheEnvironmentInTheUsualOrder) {
  const std::string folder = std::string(std::getenv("TMPDIR")) + "/trust";
  std::filesystem::create_directories(folder);
  const auto files = qxtest::MakeCertificates(folder, CertificateKind::Valid);
  const std::string missing = folder + "/missing.pem";
  LoopbackServer server(
      std::make_unique<httplib::SSLServer>(files.serverCert.c_str(), files.serverKey.c_str()));
  inettest::ServeText(server, "secret");
  const char* const variables[] = {"CURL_CA_BUNDLE", "SSL_CERT_FILE", "SSL_CERT_DIR",
                                   "QXNET_CA_BUNDLE"};
  const struct {
    std::vector<std::pair<const char*, std::string>> environment;
    DWORD error;         // 0: accepted
    const char* blamed;  // the variable the message names
  } cases[] = {
      {{{"CURL_CA_BUNDLE", files.caCert}}, 0, nullptr},
      {{{"SSL_CERT_FILE", files.caCert}}, 0, nullptr},
      // CURL_CA_BUNDLE comes first: the others are not looked at.
      {{{"CURL_CA_BUNDLE", files.caCert}, {"SSL_CERT_FILE", missing}, {"SSL_CERT_DIR", missing}},
       0,
       nullptr},
      // The named bundle replaces the system's, which does not know the authority.
      {{{"SSL_CERT_FILE", files.serverKey}}, ERROR_INTERNET_INVALID_CA, nullptr},
      {{{"CURL_CA_BUNDLE", missing}}, ERROR_INTERNET_INVALID_CA, "CURL_CA_BUNDLE"},
      {{{"SSL_CERT_FILE", missing}}, ERROR_INTERNET_INVALID_CA, "SSL_CERT_FILE"},
      {{{"SSL_CERT_DIR", files.caCert}}, ERROR_INTERNET_INVALID_CA, "SSL_CERT_DIR"},
      {{{"QXNET_CA_BUNDLE", missing}}, ERROR_INTERNET_INVALID_CA, "QXNET_CA_BUNDLE"},
  };
  int serial = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(serial++);
    for (const char* name : variables) unsetenv(name);
    for (const auto& [name, value] : c.environment) setenv(name, value.c_str(), 1);
    DWORD error = 0;
    std::string body;
    Get(server.port(), u"/", INTERNET_FLAG_SECURE, &error, &body);
    const std::string message = qx::Utf16ToUtf8(GetErrorMessage(error));
    EXPECT_EQ(error, c.error) << message;
    EXPECT_EQ(body, c.error ? "" : "secret");
    if (c.blamed) {
      EXPECT_NE(message.find(std::string("named by ") + c.blamed), std::string::npos) << message;
    }
  }
  for (const char* name : variables) unsetenv(name);
  // A plain request does not need the trust settings.
  setenv("SSL_CERT_FILE", missing.c_str(), 1);
  LoopbackServer plain;
  inettest::ServeText(plain, "open");
  EXPECT_EQ(Get(plain.port(), u"/", 0), 200u);
  unsetenv("SSL_CERT_FILE");
}

TEST(AuthTest, NetrcThenPromptAndNeverTheSameCredentialsTwice) {
  LoopbackServer server;
  std::atomic<int> refusals{0};
  server.http().Get("/secret", [&](const httplib::Request& request, httplib::Response& response) {
    if (request.get_header_value("Authorization") == "Basic YWxpY2U6cmlnaHQ=") {  // alice:right
      return response.set_content("welcome", "text/plain");
    }
    ++refusals;
    response.status = 401;
    response.set_header("WWW-Authenticate", "Basic realm=\"updates\"");
  });
  server.Start();
  auto writeNetrc = [](const std::string& password) {
    std::ofstream(std::getenv("NETRC"))
        << "machine other.invalid login bob password x\n"
        << "machine 127.0.0.1\n  login alice\n  password " << password << "\n";
  };
  writeNetrc("right");
  EXPECT_EQ(Get(server.port(), u"/secret", 0), 200u);
  EXPECT_EQ(refusals, 1);

  // Wrong netrc entry, no prompt: offered once, then the login ends.
  writeNetrc("wrong");
  refusals = 0;
  EXPECT_EQ(Get(server.port(), u"/secret", 0), 0u);
  EXPECT_EQ(refusals, 2);

  // The prompt is asked after the netrc entry failed.
  std::vector<CredentialQuery> asked;
  SetCredentialPrompt([&](const CredentialQuery& query, Credentials& answer) {
    asked.push_back(query);
    answer = Credentials{"alice", asked.size() == 1 ? "right" : "again"};
    return true;
  });
  EXPECT_EQ(Get(server.port(), u"/secret", 0), 200u);
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
  EXPECT_EQ(Get(server.port(), u"/secret", 0), 0u);
  EXPECT_EQ(refusals, 2);
  SetCredentialPrompt(nullptr);
}

}  // namespace

// Transfers that a slow server, a failing proxy or a downgrading redirect
// must end with a clear failure.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "net/internet_service/internet_service.h"
#include "qxnet/text.h"
#include "tests/internet_service/exchange.h"
#include "tests/support/loopback_server.h"
#include "tests/support/loopback_sockets.h"

using namespace qx::inet;
using qxtest::LoopbackServer;

namespace {

struct Outcome {
  bool sent = false;
  bool bodyRead = false;
  DWORD error = 0;
  std::string message;
};

// GETs `path` from 127.0.0.1:port in a session opened with `accessType` and
// `proxy`, reading the whole body.
Outcome Get(int port, const std::string& path, DWORD flags = 0,
            DWORD accessType = INTERNET_OPEN_TYPE_PRECONFIG, const char16_t* proxy = nullptr) {
  Outcome outcome;
  HINTERNET session = InternetOpenW(u"agent", accessType, proxy, nullptr, 0);
  {
    inettest::Exchange exchange(port, nullptr, path, flags, session);
    outcome.sent = exchange.Send();
    std::string body;
    if (outcome.sent) outcome.bodyRead = exchange.ReadAll(body, 64);
    if (!outcome.sent || !outcome.bodyRead) {
      outcome.error = GetLastError();
      outcome.message = qx::Utf16ToUtf8(GetErrorMessage(outcome.error));
    }
  }
  InternetCloseHandle(session);
  return outcome;
}

TEST(HostileTransferTest, TrickledBodyFailsUnderTheSpeedFloor) {
  // One byte every 200 ms resets the stall timer each time; only the floor
  // over the whole stall period can end it.
  LoopbackServer server;
  server.http().Get("/trickle", [&server](const httplib::Request&, httplib::Response& response) {
    response.set_chunked_content_provider("text/plain", [&server](size_t, httplib::DataSink& sink) {
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      return !server.stopping && sink.write("x", 1);
    });
  });
  server.Start();
  SetTransferTimeouts(std::chrono::milliseconds(0), std::chrono::milliseconds(2000));
  const struct {
    long floor;
    bool fails;
  } cases[] = {{50, true}, {0 /* default 1 byte per second */, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.floor);
    SetLowSpeedLimit(c.floor);
    if (c.fails) {
      const auto started = std::chrono::steady_clock::now();
      const Outcome outcome = Get(server.port(), "/trickle");
      EXPECT_FALSE(outcome.sent && outcome.bodyRead);
      EXPECT_EQ(outcome.error, ERROR_INTERNET_TIMEOUT) << outcome.message;
      EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
    } else {
      // Above the default floor the same server is read for several stall
      // periods without failing; the test ends it by stopping the server.
      std::thread stopper([&server] {
        std::this_thread::sleep_for(std::chrono::milliseconds(5000));
        server.stopping = true;
      });
      const Outcome outcome = Get(server.port(), "/trickle");
      stopper.join();
      EXPECT_NE(outcome.error, ERROR_INTERNET_TIMEOUT) << outcome.message;
      server.stopping = false;
    }
  }
  SetLowSpeedLimit(0);
  SetTransferTimeouts(std::chrono::milliseconds(0), std::chrono::milliseconds(0));
}

TEST(HostileTransferTest, FailedProxySaysItWasTheProxy) {
  LoopbackServer server;
  inettest::ServeText(server, "direct");
  const std::string deadProxy = "127.0.0.1:" + std::to_string(qxtest::ClosedPort());
  const std::u16string deadProxyWide = qx::Utf8ToUtf16(deadProxy);
  const int deadServer = qxtest::ClosedPort();
  const struct {
    const char* name;
    DWORD accessType;
    const char16_t* proxy;
    const char* environmentProxy;
    int port;
    bool blamesProxy;
  } cases[] = {
      {"session proxy", 3 /* named proxy */, deadProxyWide.c_str(), nullptr, server.port(), true},
      {"environment proxy", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, deadProxy.c_str(), server.port(),
       true},
      {"no proxy, dead server", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, deadServer, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.environmentProxy) setenv("http_proxy", c.environmentProxy, 1);
    const Outcome outcome = Get(c.port, "/", 0, c.accessType, c.proxy);
    unsetenv("http_proxy");
    EXPECT_FALSE(outcome.sent);
    EXPECT_EQ(outcome.error, ERROR_INTERNET_CANNOT_CONNECT) << outcome.message;
    EXPECT_EQ(outcome.message.find("The proxy ") != std::string::npos, c.blamesProxy)
        << outcome.message;
  }
}

TEST(HostileTransferTest, HttpsRedirectToHttpIsRefusedAsADowngrade) {
  const std::string folder = std::string(std::getenv("TMPDIR")) + "/certs";
  std::filesystem::create_directories(folder);
  const auto files = qxtest::MakeCertificates(folder, qxtest::CertificateKind::Valid);
  setenv("QXNET_CA_BUNDLE", files.caCert.c_str(), 1);
  LoopbackServer plain;
  inettest::ServeText(plain, "plain");
  LoopbackServer secure(
      std::make_unique<httplib::SSLServer>(files.serverCert.c_str(), files.serverKey.c_str()));
  secure.http().Get("/", [&plain](const httplib::Request&, httplib::Response& response) {
    response.set_redirect(plain.Url("/"), 302);
  });
  secure.Start();
  const Outcome outcome = Get(secure.port(), "/", INTERNET_FLAG_SECURE);
  unsetenv("QXNET_CA_BUNDLE");
  EXPECT_FALSE(outcome.sent);
  EXPECT_EQ(outcome.error, ERROR_HTTP_REDIRECT_FAILED) << outcome.message;
  EXPECT_NE(outcome.message.find("refused as a downgrade"), std::string::npos) << outcome.message;
  EXPECT_NE(outcome.message.find(plain.Url("/")), std::string::npos) << outcome.message;
}

}  // namespace

// IsConnected, CanConnect, ValidateUrl and AttemptConnect: the off-line
// switch, live and dead loopback URLs, URL checks, and what AttemptConnect
// adds to the connect probe.
#include "qxnet/bstr.h"
#include "tests/qxnet/qxnet_fixture.h"
#include "tests/support/loopback_sockets.h"

namespace qxnettest {
namespace {

VARIANT_BOOL CanConnectTo(_QXNet* object, const std::string& url, HRESULT* hr = nullptr) {
  qx::BStr text = qx::BStr::FromUtf8(url);
  VARIANT_BOOL answer = 5;
  const HRESULT result = object->CanConnect(text.Get(), &answer);
  if (hr) *hr = result;
  return answer;
}

// Off line, CanConnect and RetrieveFile send nothing.
TEST_F(QXNetTest, IsConnectedFollowsTheOffLineSwitches) {
  auto net = NewObject(sink);
  const auto connected = [&] {
    VARIANT_BOOL online = 5;
    EXPECT_EQ(net->get_IsConnected(&online), S_OK);
    return online;
  };
  EXPECT_EQ(connected(), VARIANT_TRUE);
  SetGlobalOffline(true);
  EXPECT_EQ(connected(), 0);
  EXPECT_EQ(CanConnectTo(net.Get(), Url("/doc")), 0);
  // The machine's state counts as well when the user's switch is off.
  SetGlobalOffline(false);
  setenv("QXNET_ONLINE", "0", 1);
  EXPECT_EQ(connected(), 0);
  std::string path;
  EXPECT_EQ(Retrieve(net.Get(), Url("/small.xml"), path), E_FAIL);
  EXPECT_EQ(TakeErrorText(), "You must be connected to the internet to retrieve the file");
  EXPECT_EQ(sink->ends, 1);
  EXPECT_EQ(server->ConnectionCount(), 0u);
}

TEST_F(QXNetTest, CanConnectAsksTheServerWithHead) {
  auto net = NewObject();
  EXPECT_EQ(CanConnectTo(net.Get(), Url("/doc")), VARIANT_TRUE);
  ASSERT_EQ(state->RequestCount(), 1u);
  EXPECT_EQ(state->methods[0], "HEAD /doc");

  // A server that answers without a modification time is reachable too.
  state->Set(&ServerState::lastModified, "");
  EXPECT_EQ(CanConnectTo(net.Get(), Url("/doc")), VARIANT_TRUE);

  // An error status, a port nobody listens on and a bad URL: false, S_OK.
  state->Set(&ServerState::docStatus, 404);
  EXPECT_EQ(CanConnectTo(net.Get(), Url("/doc")), 0);
  const std::string dead = "http://127.0.0.1:" + std::to_string(qxtest::ClosedPort()) + "/doc";
  for (const std::string& url : {dead, std::string("ftp://127.0.0.1/doc"), std::string()}) {
    HRESULT hr = E_FAIL;
    EXPECT_EQ(CanConnectTo(net.Get(), url, &hr), 0) << url;
    EXPECT_EQ(hr, S_OK) << url;
  }

  qx::BStr url = qx::BStr::FromUtf8(Url("/doc"));
  qxtest::ClearErrorRecord();
  EXPECT_EQ(net->CanConnect(url.Get(), nullptr), E_INVALIDARG);
  EXPECT_EQ(TakeErrorText(), "Invalid parameter");
}

TEST_F(QXNetTest, ValidateUrlAcceptsHttpAndHttpsOnly) {
  auto net = NewObject();
  for (const char* good : {"https://example.invalid/a", "http://127.0.0.1:8080/x?y=1",
                           "http://127.0.0.1/a b/\"q\"/\xC3\xBC"}) {
    qx::BStr url = qx::BStr::FromUtf8(good);
    EXPECT_EQ(net->ValidateUrl(url.Get()), S_OK) << good;
  }
  qx::BStr ftp = qx::BStr::FromUtf8("ftp://127.0.0.1/file");
  qxtest::ClearErrorRecord();
  EXPECT_EQ(net->ValidateUrl(ftp.Get()), E_FAIL);
  EXPECT_EQ(TakeErrorText(), "Invalid URL.\n    ftp://127.0.0.1/file");
  // No argument check of its own: a null URL fails like any bad URL.
  qxtest::ClearErrorRecord();
  EXPECT_EQ(net->ValidateUrl(nullptr), E_FAIL);
  EXPECT_FALSE(TakeErrorText().empty());
}

class AttemptConnectTest : public QXNetTest {
 protected:
  // AttemptConnect through _QXNetConnect; `answer` -1, 0, or 5 when unset.
  HRESULT Attempt(BSTR host, LONG port, LONG timeout, VARIANT_BOOL* answer) {
    auto net = NewObject();
    auto connect = qx::QueryAs<_QXNetConnect>(net.Get());
    EXPECT_TRUE(connect);
    *answer = 5;
    qxtest::ClearErrorRecord();
    return connect->AttemptConnect(host, port, timeout, answer);
  }
  VARIANT_BOOL Attempt(const std::string& host, LONG port, LONG timeout) {
    qx::BStr text = qx::BStr::FromUtf8(host);
    VARIANT_BOOL answer = 5;
    EXPECT_EQ(Attempt(text.Get(), port, timeout, &answer), S_OK);
    return answer;
  }
};

// The probe's own rules (timeouts, host names, full queues, the port range)
// are the connect probe's tests; here only what the member adds: the answer's
// values, the trace line, and arguments refused before anything runs.
TEST_F(AttemptConnectTest, AnswersTheProbeAndTracesTheCall) {
  qxtest::Listener listener;
  EXPECT_EQ(Attempt("127.0.0.1", listener.port(), 2000), VARIANT_TRUE);
  EXPECT_EQ(Attempt("127.0.0.1", qxtest::ClosedPort(), 2000), 0);
  EXPECT_TRUE(HasLine(TraceEntries(), "CQXNet::AttemptConnect(127.0.0.1," +
                                          std::to_string(listener.port()) + ",2000)"));
}

TEST_F(AttemptConnectTest, ArgumentChecksComeBeforeTheTrace) {
  qx::BStr host = qx::BStr::FromUtf8("127.0.0.1");
  VARIANT_BOOL answer = 5;
  EXPECT_EQ(Attempt(host.Get(), 65536, 100, &answer), E_INVALIDARG);
  EXPECT_EQ(TakeErrorText(), "Invalid parameter");
  EXPECT_EQ(answer, 5);
  EXPECT_EQ(Attempt(nullptr, 80, 100, &answer), E_INVALIDARG);
  auto net = NewObject();
  auto connect = qx::QueryAs<_QXNetConnect>(net.Get());
  EXPECT_EQ(connect->AttemptConnect(host.Get(), 80, 100, nullptr), E_INVALIDARG);
  EXPECT_FALSE(HasLineStartingWith(TraceEntries(), "CQXNet::AttemptConnect("));
}

}  // namespace
}  // namespace qxnettest

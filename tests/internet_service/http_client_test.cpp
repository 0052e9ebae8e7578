// HTTP transfers against servers the tests run on 127.0.0.1.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "net/internet_service/internet_service.h"
#include "platform/com/text.h"
#include "tests/internet_service/loopback_server.h"

using namespace qx::inet;
using inettest::LoopbackServer;

namespace {

const char16_t* const kAcceptAll[] = {u"*/*", nullptr};

// One session, connection and request to the test server.
struct Exchange {
  Exchange(int port, const char16_t* verb, const std::string& path, DWORD flags = 0,
           HINTERNET reuseSession = nullptr)
      : ownSession(reuseSession == nullptr) {
    session = reuseSession ? reuseSession
                           : InternetOpenW(u"Corvane 11.0.6.5036", INTERNET_OPEN_TYPE_PRECONFIG,
                                           nullptr, nullptr, 0);
    connection = InternetConnectW(session, u"127.0.0.1", static_cast<INTERNET_PORT>(port), nullptr,
                                  nullptr, INTERNET_SERVICE_HTTP, 0, 0);
    request = HttpOpenRequestW(connection, verb, qx::Utf8ToUtf16(path).c_str(), u"HTTP/1.1",
                               nullptr, kAcceptAll, flags, 0);
  }
  ~Exchange() {
    InternetCloseHandle(request);
    InternetCloseHandle(connection);
    if (ownSession) InternetCloseHandle(session);
  }
  bool Send(const std::string& body = std::string(), const char16_t* headers = nullptr) {
    return HttpSendRequestW(request, headers, headers ? static_cast<DWORD>(-1) : 0,
                            body.empty() ? nullptr : body.data(), static_cast<DWORD>(body.size())) == TRUE;
  }
  DWORD Status() {
    DWORD status = 0;
    DWORD size = sizeof status;
    EXPECT_TRUE(HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status,
                               &size, nullptr));
    return status;
  }
  // Reads the whole body; false when a read fails.
  bool ReadAll(std::string& body, DWORD piece = 4096) {
    std::string buffer(piece, '\0');
    for (;;) {
      DWORD got = 0;
      if (!InternetReadFile(request, buffer.data(), piece, &got)) return false;
      if (got == 0) return true;
      body.append(buffer.data(), got);
    }
  }
  bool ownSession;
  HINTERNET session = nullptr;
  HINTERNET connection = nullptr;
  HINTERNET request = nullptr;
};

long ProcStatusKb(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + std::strlen(field) + 1);
  }
  return -1;
}

class HttpClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto& http = server.http();
    http.Get("/hello", [](const httplib::Request& request, httplib::Response& response) {
      response.set_header("Last-Modified", "Wed, 21 Oct 2015 07:28:00 GMT");
      response.set_content("hello " + request.get_header_value("User-Agent") + " " +
                               request.get_header_value("Accept"),
                           "text/plain");
    });
    http.Get("/missing", [](const httplib::Request&, httplib::Response& response) {
      response.status = 404;
      response.set_content("nope", "text/plain");
    });
    http.Get(R"(/r/(\d+))", [](const httplib::Request& request, httplib::Response& response) {
      const int left = std::stoi(request.matches[1]);
      if (left == 0) {
        response.set_content("arrived", "text/plain");
      } else {
        response.set_redirect("/r/" + std::to_string(left - 1), 302);
        response.set_content("redirect body", "text/plain");
      }
    });
    http.Post("/form", [](const httplib::Request& request, httplib::Response& response) {
      response.set_redirect("/landing?from=" + request.body, 303);
    });
    http.Get("/landing", [](const httplib::Request& request, httplib::Response& response) {
      response.set_content(request.method + " " + request.get_param_value("from"), "text/plain");
    });
    http.Post("/echo", [](const httplib::Request& request, httplib::Response& response) {
      response.set_content(request.get_header_value("X-Extra") + ":" + request.body, "text/plain");
    });
    http.Get("/big", [](const httplib::Request&, httplib::Response& response) {
      response.set_content_provider(kBigSize, "application/octet-stream",
                                    [](size_t offset, size_t length, httplib::DataSink& sink) {
                                      std::string chunk(std::min<size_t>(length, 64 * 1024), '\0');
                                      for (size_t i = 0; i < chunk.size(); ++i) {
                                        chunk[i] = static_cast<char>((offset + i) % 251);
                                      }
                                      return sink.write(chunk.data(), chunk.size());
                                    });
    });
    http.Get("/cut", [](const httplib::Request&, httplib::Response& response) {
      response.set_content_provider(1 << 20, "application/octet-stream",
                                    [](size_t offset, size_t, httplib::DataSink& sink) {
                                      if (offset >= 200 * 1024) return false;  // drop the connection
                                      std::string chunk(64 * 1024, 'c');
                                      return sink.write(chunk.data(), chunk.size());
                                    });
    });
    http.Get("/stall", [this](const httplib::Request&, httplib::Response& response) {
      response.set_content_provider(1000, "text/plain",
                                    [this](size_t offset, size_t, httplib::DataSink& sink) {
                                      if (offset == 0) return sink.write("x", 1);
                                      for (int i = 0; i < 200 && !server.stopping; ++i) {
                                        std::this_thread::sleep_for(std::chrono::milliseconds(25));
                                      }
                                      return false;
                                    });
    });
    server.Start();
  }

  static constexpr size_t kBigSize = 64u << 20;
  LoopbackServer server;
};

TEST_F(HttpClientTest, GetAnswersStatusLengthAndLastModified) {
  Exchange get(server.port(), nullptr, "/hello");
  ASSERT_TRUE(get.Send()) << GetLastError();
  EXPECT_EQ(get.Status(), 200u);

  char16_t length[64] = {};
  DWORD size = 128;
  ASSERT_TRUE(HttpQueryInfoW(get.request, HTTP_QUERY_CONTENT_LENGTH, length, &size, nullptr));
  const std::string body = "hello Corvane 11.0.6.5036 */*";
  EXPECT_EQ(qx::Utf16ToUtf8(length), std::to_string(body.size()));
  EXPECT_EQ(size, std::to_string(body.size()).size() * 2);

  SYSTEMTIME modified{};
  size = sizeof modified;
  ASSERT_TRUE(HttpQueryInfoW(get.request, HTTP_QUERY_LAST_MODIFIED | HTTP_QUERY_FLAG_SYSTEMTIME,
                             &modified, &size, nullptr));
  EXPECT_EQ(modified.wYear, 2015);
  EXPECT_EQ(modified.wMonth, 10);
  EXPECT_EQ(modified.wDay, 21);
  EXPECT_EQ(modified.wHour, 7);
  EXPECT_EQ(modified.wMinute, 28);
  EXPECT_EQ(modified.wDayOfWeek, 3);

  // Size protocol for text, and a header that is not there.
  size = 2;
  EXPECT_FALSE(HttpQueryInfoW(get.request, HTTP_QUERY_CONTENT_TYPE, length, &size, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(size, (std::string("text/plain").size() + 1) * 2);
  size = sizeof length;
  EXPECT_FALSE(HttpQueryInfoW(get.request, HTTP_QUERY_ETAG, length, &size, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_HTTP_HEADER_NOT_FOUND);

  DWORD available = 0;
  ASSERT_TRUE(InternetQueryDataAvailable(get.request, &available, 0, 0));
  EXPECT_GT(available, 0u);
  std::string received;
  ASSERT_TRUE(get.ReadAll(received, 3));
  EXPECT_EQ(received, body);
  ASSERT_TRUE(InternetQueryDataAvailable(get.request, &available, 0, 0));
  EXPECT_EQ(available, 0u);
}

TEST_F(HttpClientTest, ErrorStatusIsAResponseNotAFailure) {
  Exchange get(server.port(), nullptr, "/missing");
  ASSERT_TRUE(get.Send());
  EXPECT_EQ(get.Status(), 404u);
}

TEST_F(HttpClientTest, LargeBodyStreamsInBoundedMemory) {
  Exchange get(server.port(), nullptr, "/big");
  ASSERT_TRUE(get.Send());
  { std::ofstream("/proc/self/clear_refs") << "5"; }  // restart the peak measurement
  const long peakBefore = ProcStatusKb("VmHWM:");
  std::string buffer(4096, '\0');
  size_t total = 0;
  bool intact = true;
  for (;;) {
    DWORD got = 0;
    ASSERT_TRUE(InternetReadFile(get.request, buffer.data(), 4096, &got));
    if (got == 0) break;
    for (DWORD i = 0; i < got && intact; i += 997) {
      intact = buffer[i] == static_cast<char>((total + i) % 251);
    }
    total += got;
  }
  EXPECT_TRUE(intact);
  EXPECT_EQ(total, kBigSize);
  const long peakAfter = ProcStatusKb("VmHWM:");
  ASSERT_GT(peakBefore, 0);
#ifdef __SANITIZE_ADDRESS__
  const long bound = 256 * 1024;  // the sanitizer's quarantine keeps freed memory resident
#else
  const long bound = 24 * 1024;
#endif
  EXPECT_LT(peakAfter - peakBefore, bound) << "kB of peak memory growth";
}

TEST_F(HttpClientTest, RedirectsAreFollowedUpToTwenty) {
  {
    Exchange get(server.port(), nullptr, "/r/20");
    ASSERT_TRUE(get.Send());
    EXPECT_EQ(get.Status(), 200u);
    std::string body;
    ASSERT_TRUE(get.ReadAll(body));
    EXPECT_EQ(body, "arrived");  // no redirect body mixed in
  }
  {
    Exchange head(server.port(), u"HEAD", "/r/2");
    ASSERT_TRUE(head.Send());
    EXPECT_EQ(head.Status(), 200u);
    std::string body;
    ASSERT_TRUE(head.ReadAll(body));
    EXPECT_EQ(body, "");
  }
  Exchange tooMany(server.port(), nullptr, "/r/21");
  EXPECT_FALSE(tooMany.Send());
  EXPECT_EQ(GetLastError(), ERROR_HTTP_REDIRECT_FAILED);
  EXPECT_FALSE(GetErrorMessage(GetLastError()).empty());

  Exchange notFollowed(server.port(), nullptr, "/r/1", INTERNET_FLAG_NO_AUTO_REDIRECT);
  ASSERT_TRUE(notFollowed.Send());
  EXPECT_EQ(notFollowed.Status(), 302u);
}

TEST_F(HttpClientTest, PostAnsweredSeeOtherBecomesGet) {
  Exchange post(server.port(), u"POST", "/form");
  ASSERT_TRUE(post.Send("abc", u"Content-Type: text/plain\r\n"));
  EXPECT_EQ(post.Status(), 200u);
  std::string body;
  ASSERT_TRUE(post.ReadAll(body));
  EXPECT_EQ(body, "GET abc");
}

TEST_F(HttpClientTest, PostSendsBodyAndExtraHeaders) {
  Exchange post(server.port(), u"POST", "/echo");
  const std::string payload("binary\0body", 11);
  ASSERT_TRUE(post.Send(payload, u"X-Extra: yes\r\nContent-Type: application/octet-stream\r\n"));
  std::string body;
  ASSERT_TRUE(post.ReadAll(body));
  EXPECT_EQ(body, "yes:" + payload);
}

TEST_F(HttpClientTest, RequestsOfOneSessionShareOneConnection) {
  HINTERNET session = InternetOpenW(u"agent", 0, nullptr, nullptr, 0);
  for (int i = 0; i < 3; ++i) {
    Exchange get(server.port(), nullptr, "/hello", 0, session);
    ASSERT_TRUE(get.Send());
    std::string body;
    ASSERT_TRUE(get.ReadAll(body));
  }
  EXPECT_EQ(server.ConnectionCount(3), 1u);
  {
    // A second session, while the first still holds its connection: a new pool.
    Exchange other(server.port(), nullptr, "/hello");
    ASSERT_TRUE(other.Send());
    std::string body;
    ASSERT_TRUE(other.ReadAll(body));
    EXPECT_EQ(server.ConnectionCount(4), 2u);
  }
  InternetCloseHandle(session);
}

TEST_F(HttpClientTest, ServerClosingMidBodyFailsTheRead) {
  Exchange get(server.port(), nullptr, "/cut");
  ASSERT_TRUE(get.Send());
  std::string body;
  EXPECT_FALSE(get.ReadAll(body));
  EXPECT_TRUE(GetLastError() == ERROR_INTERNET_CONNECTION_ABORTED ||
              GetLastError() == ERROR_INTERNET_CONNECTION_RESET)
      << GetLastError();
  EXPECT_LT(body.size(), size_t{1} << 20);
}

TEST_F(HttpClientTest, StalledServerTimesOut) {
  SetTransferTimeouts(std::chrono::seconds(10), std::chrono::milliseconds(700));
  Exchange get(server.port(), nullptr, "/stall");
  ASSERT_TRUE(get.Send());
  std::string body;
  EXPECT_FALSE(get.ReadAll(body));
  EXPECT_EQ(GetLastError(), ERROR_INTERNET_TIMEOUT);
  EXPECT_NE(qx::Utf16ToUtf8(GetErrorMessage(GetLastError())).find("no data"), std::string::npos);
  EXPECT_EQ(body, "x");
}

TEST(HttpClientFailures, ClosedPortCannotConnect) {
  int port = 0;
  {
    LoopbackServer closed;
    closed.Start();
    port = closed.port();
  }
  Exchange get(port, nullptr, "/");
  EXPECT_FALSE(get.Send());
  EXPECT_EQ(GetLastError(), ERROR_INTERNET_CANNOT_CONNECT);
  EXPECT_FALSE(GetErrorMessage(ERROR_INTERNET_CANNOT_CONNECT).empty());
}

TEST(HttpClientFailures, HandlesAreChecked) {
  DWORD available = 0;
  EXPECT_FALSE(InternetQueryDataAvailable(reinterpret_cast<HINTERNET>(0x1234), &available, 0, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  HINTERNET session = InternetOpenW(u"a", 0, nullptr, nullptr, 0);
  EXPECT_EQ(HttpOpenRequestW(session, nullptr, u"/", nullptr, nullptr, nullptr, 0, 0), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
  EXPECT_TRUE(InternetCloseHandle(session));
  EXPECT_FALSE(InternetCloseHandle(session));
}

}  // namespace

// HTTP transfers against servers the tests run on 127.0.0.1.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "net/internet_service/internet_service.h"
#include "qxnet/text.h"
#include "tests/internet_service/exchange.h"
#include "tests/support/loopback_server.h"
#include "tests/support/loopback_sockets.h"

using namespace qx::inet;
using qxtest::LoopbackServer;

using inettest::Exchange;

namespace {

long PeakResidentKb() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return -1;
}

class HttpClientTest : public ::testing::Test {
 protected:
  using Request = httplib::Request;
  using Response = httplib::Response;

  void SetUp() override {
    auto& http = server.http();
    http.Get("/hello", [](const Request& request, Response& response) {
      response.set_header("Last-Modified", "Wed, 21 Oct 2015 07:28:00 GMT");
      response.set_content("hello " + request.get_header_value("User-Agent") + " " +
                               request.get_header_value("Accept"),
                           "text/plain");
    });
    http.Get("/dated", [](const Request& request, Response& response) {
      response.set_header("Last-Modified", request.get_param_value("d"));
      response.set_content("dated", "text/plain");
    });
    http.Get(R"(/r/(\d+))", [](const Request& request, Response& response) {
      const int left = std::stoi(request.matches[1]);
      if (left == 0) return response.set_content("arrived", "text/plain");
      response.set_redirect("/r/" + std::to_string(left - 1), 302);
      response.set_content("redirect body", "text/plain");
    });
    http.Post("/form", [](const Request& request, Response& response) {
      response.set_redirect("/landing?from=" + request.body, 303);
    });
    http.Get("/landing", [](const Request& request, Response& response) {
      response.set_content(request.method + " " + request.get_param_value("from"), "text/plain");
    });
    http.Post("/echo", [](const Request& request, Response& response) {
      response.set_content(request.get_header_value("X-Extra") + ":" + request.body, "text/plain");
    });
    inettest::ServePattern(http);
    server.Start();
  }

  static constexpr size_t kBigSize = 64u << 20;
  LoopbackServer server;
};

TEST_F(HttpClientTest, GetAnswersStatusHeadersAndBody) {
  Exchange get(server.port(), nullptr, "/hello");
  ASSERT_TRUE(get.Send()) << GetLastError();
  EXPECT_EQ(get.Status(), 200u);
  const std::string body = "hello Corvane 11.0.6.5036 */*";

  char16_t text[64] = {};
  DWORD size = sizeof text;
  ASSERT_TRUE(HttpQueryInfoW(get.request, HTTP_QUERY_CONTENT_LENGTH, text, &size, nullptr));
  EXPECT_EQ(qx::Utf16ToUtf8(text), std::to_string(body.size()));
  EXPECT_EQ(size, std::to_string(body.size()).size() * 2);
  SYSTEMTIME modified{};
  size = sizeof modified;
  ASSERT_TRUE(HttpQueryInfoW(get.request, HTTP_QUERY_LAST_MODIFIED | HTTP_QUERY_FLAG_SYSTEMTIME,
                             &modified, &size, nullptr));
  EXPECT_EQ(std::vector<int>({modified.wYear, modified.wMonth, modified.wDay, modified.wHour,
                              modified.wMinute, modified.wDayOfWeek}),
            std::vector<int>({2015, 10, 21, 7, 28, 3}));
  // Size protocol for text, and a header that is not there.
  size = 2;
  EXPECT_FALSE(HttpQueryInfoW(get.request, HTTP_QUERY_CONTENT_TYPE, text, &size, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(size, (std::string("text/plain").size() + 1) * 2);
  size = sizeof text;
  EXPECT_FALSE(HttpQueryInfoW(get.request, HTTP_QUERY_ETAG, text, &size, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_HTTP_HEADER_NOT_FOUND);

  DWORD available = 0;
  ASSERT_TRUE(InternetQueryDataAvailable(get.request, &available, 0, 0));
  EXPECT_GT(available, 0u);
  std::string received;
  ASSERT_TRUE(get.ReadAll(received, 3));
  EXPECT_EQ(received, body);
  ASSERT_TRUE(InternetQueryDataAvailable(get.request, &available, 0, 0));
  EXPECT_EQ(available, 0u);

  Exchange missing(server.port(), nullptr, "/missing");  // an error status is still a response
  ASSERT_TRUE(missing.Send());
  EXPECT_EQ(missing.Status(), 404u);
}

TEST_F(HttpClientTest, LastModifiedOutsideTheTimeRangeIsUnreadable) {
  const struct {
    const char* header;  // URL-escaped
    int year;            // 0: unreadable
  } cases[] = {{"Sun,%2031%20Dec%2061000%2023:59:59%20GMT", 0},
               {"Fri,%2031%20Dec%209999%2023:59:59%20GMT", 9999},
               {"Mon,%2001%20Jan%201601%2000:00:00%20GMT", 1601},
               {"Sat,%2031%20Dec%201600%2023:59:59%20GMT", 0},
               {"not%20a%20date", 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.header);
    Exchange get(server.port(), nullptr, std::string("/dated?d=") + c.header);
    ASSERT_TRUE(get.Send()) << GetLastError();
    SYSTEMTIME modified{};
    DWORD size = sizeof modified;
    const bool read =
        HttpQueryInfoW(get.request, HTTP_QUERY_LAST_MODIFIED | HTTP_QUERY_FLAG_SYSTEMTIME,
                       &modified, &size, nullptr) == TRUE;
    EXPECT_EQ(read, c.year != 0);
    if (read) {
      EXPECT_EQ(modified.wYear, c.year);
    } else {
      EXPECT_EQ(GetLastError(), ERROR_HTTP_INVALID_HEADER);
    }
  }
}

TEST_F(HttpClientTest, LargeBodyStreamsInBoundedMemory) {
  Exchange get(server.port(), nullptr, "/pattern?n=" + std::to_string(kBigSize));
  ASSERT_TRUE(get.Send());
  { std::ofstream("/proc/self/clear_refs") << "5"; }  // restart the peak measurement
  const long peakBefore = PeakResidentKb();
  std::string buffer(4096, '\0');
  size_t total = 0;
  bool intact = true;
  for (DWORD got = 1; got != 0; total += got) {
    ASSERT_TRUE(InternetReadFile(get.request, buffer.data(), 4096, &got));
    for (DWORD i = 0; i < got && intact; i += 997)
      intact = buffer[i] == inettest::PatternAt(total + i);
  }
  EXPECT_TRUE(intact);
  EXPECT_EQ(total, kBigSize);
  ASSERT_GT(peakBefore, 0);
#if defined(__SANITIZE_ADDRESS__)  // GCC
#define QXTEST_UNDER_ASAN 1
#elif defined(__has_feature)  // clang
#if __has_feature(address_sanitizer)
#define QXTEST_UNDER_ASAN 1
#endif
#endif
#ifdef QXTEST_UNDER_ASAN
  const long bound = 256 * 1024;  // the sanitizer's quarantine keeps freed memory resident
#else
  const long bound = 24 * 1024;
#endif
  EXPECT_LT(PeakResidentKb() - peakBefore, bound) << "kB of peak memory growth";
}

TEST_F(HttpClientTest, RedirectsAndPosts) {
  EXPECT_EQ(Exchange(server.port(), nullptr, "/r/20").Body(), "arrived");  // no redirect body
  EXPECT_EQ(Exchange(server.port(), u"HEAD", "/r/2").Body(), "");
  Exchange tooMany(server.port(), nullptr, "/r/21");
  EXPECT_FALSE(tooMany.Send());
  EXPECT_EQ(GetLastError(), ERROR_HTTP_REDIRECT_FAILED);
  EXPECT_FALSE(GetErrorMessage(GetLastError()).empty());
  Exchange notFollowed(server.port(), nullptr, "/r/1", INTERNET_FLAG_NO_AUTO_REDIRECT);
  ASSERT_TRUE(notFollowed.Send());
  EXPECT_EQ(notFollowed.Status(), 302u);

  // A POST answered 303 becomes a GET; a body with a NUL and extra headers arrive whole.
  EXPECT_EQ(Exchange(server.port(), u"POST", "/form").Body("abc", u"Content-Type: text/plain\r\n"),
            "GET abc");
  const std::string payload("binary\0body", 11);
  EXPECT_EQ(Exchange(server.port(), u"POST", "/echo")
                .Body(payload, u"X-Extra: yes\r\nContent-Type: application/octet-stream\r\n"),
            "yes:" + payload);
}

TEST(HttpClientFailures, ClosedPortAndBadHandles) {
  Exchange get(qxtest::ClosedPort(), nullptr, "/");
  EXPECT_FALSE(get.Send());
  EXPECT_EQ(GetLastError(), ERROR_INTERNET_CANNOT_CONNECT);

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

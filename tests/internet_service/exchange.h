// One HTTP exchange through the internet service against a test server on
// 127.0.0.1: its session, connection and request handles, closed together.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "net/internet_service/internet_service.h"
#include "qxnet/text.h"
#include "tests/support/loopback_server.h"

namespace inettest {

using namespace qx::inet;

inline const char16_t* const kAcceptAll[] = {u"*/*", nullptr};

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
                            body.empty() ? nullptr : body.data(),
                            static_cast<DWORD>(body.size())) == TRUE;
  }
  DWORD Status() {
    DWORD status = 0;
    DWORD size = sizeof status;
    EXPECT_TRUE(HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status,
                               &size, nullptr));
    return status;
  }
  // Reads the whole body into `body`; false when a read fails.
  bool ReadAll(std::string& body, DWORD piece = 4096) {
    std::string buffer(piece, '\0');
    for (DWORD got = 1; got != 0; body.append(buffer.data(), got)) {
      if (!InternetReadFile(request, buffer.data(), piece, &got)) return false;
    }
    return true;
  }
  // Sends, expects success, and returns the body.
  std::string Body(const std::string& send = std::string(), const char16_t* headers = nullptr) {
    std::string body;
    EXPECT_TRUE(Send(send, headers)) << GetLastError();
    EXPECT_TRUE(ReadAll(body));
    return body;
  }
  bool ownSession;
  HINTERNET session = nullptr;
  HINTERNET connection = nullptr;
  HINTERNET request = nullptr;
};

// Starts `server` answering GET / with `text`.
inline void ServeText(qxtest::LoopbackServer& server, const std::string& text) {
  server.http().Get("/", [text](const httplib::Request&, httplib::Response& response) {
    response.set_content(text, "text/plain");
  });
  server.Start();
}

// Byte `offset` of the bodies ServePattern sends.
inline char PatternAt(size_t offset) { return static_cast<char>(offset % 251); }

// GET /pattern?n=N answers N bytes of PatternAt, written in 64 KiB pieces.
inline void ServePattern(httplib::Server& http) {
  http.Get("/pattern", [](const httplib::Request& request, httplib::Response& response) {
    response.set_content_provider(std::stoul(request.get_param_value("n")),
                                  "application/octet-stream",
                                  [](size_t offset, size_t length, httplib::DataSink& sink) {
                                    std::string chunk(std::min<size_t>(length, 64 * 1024), '\0');
                                    for (size_t i = 0; i < chunk.size(); ++i)
                                      chunk[i] = PatternAt(offset + i);
                                    return sink.write(chunk.data(), chunk.size());
                                  });
  });
}

}  // namespace inettest

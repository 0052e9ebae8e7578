// Downloads cut short and continued: by a server closing mid-body, by a
// client process killed mid-body, and every answer to the range request
// that must make the download start over.
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/qxnet/qxnet_fixture.h"
#include "tests/support/scripted_server.h"

namespace qxnettest {
namespace {

constexpr size_t kTotal = size_t{1} << 20;

// Bytes that differ from position to position, so a misplaced range shows.
const std::string& Body() {
  static const std::string body = [] {
    std::string bytes(kTotal, '\0');
    uint32_t state = 12345;
    for (char& c : bytes) {
      state = state * 1103515245u + 12345u;
      c = static_cast<char>(state >> 24);
    }
    return bytes;
  }();
  return body;
}

std::string FullHead(const std::string& etag = "\"v1\"") {
  return "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
         std::to_string(kTotal) + "\r\nETag: " + etag + "\r\nAccept-Ranges: bytes\r\n";
}

ScriptedAnswer Full(size_t sendBytes = std::string::npos) {
  return {FullHead(), Body(), sendBytes};
}

// A 206 answer with the range and fields given, its body taken from `body`.
ScriptedAnswer Partial(size_t first, size_t total, const std::string& etag,
                       const std::string& body) {
  const std::string rest = body.substr(first);
  return {
      "HTTP/1.1 206 Partial Content\r\nContent-Type: application/octet-stream\r\nContent-Range: "
      "bytes " +
          std::to_string(first) + "-" + std::to_string(total - 1) + "/" + std::to_string(total) +
          "\r\nContent-Length: " + std::to_string(rest.size()) + "\r\nETag: " + etag +
          "\r\nAccept-Ranges: bytes\r\n",
      rest};
}

// The N of "Range: bytes=N-", or -1 when the request asks no range.
long RangeStart(const std::string& request) {
  const size_t at = request.find("\r\nRange: bytes=");
  return at == std::string::npos ? -1 : std::stol(request.substr(at + 15));
}

long CacheFileSize() {
  const std::vector<std::string> files = CacheFiles();
  struct stat info {};
  if (files.size() != 1 || stat((CacheFolder() + "/" + files[0]).c_str(), &info) != 0) return -1;
  return static_cast<long>(info.st_size);
}

TEST_F(QXNetTest, DownloadCutByTheServerIsCompletedWithOneRangeRequest) {
  ScriptedServer range([](const std::string& request) {
    const long start = RangeStart(request);
    return start < 0 ? Full(300000) : Partial(static_cast<size_t>(start), kTotal, "\"v1\"", Body());
  });
  auto net = NewObject(sink);
  std::string path;
  ASSERT_EQ(Retrieve(net.Get(), range.Url("/update.bin"), path), E_FAIL);
  qxtest::TakeErrorRecord();
  EXPECT_FALSE(IsCached(range.Url("/update.bin")));  // the part is nobody's to use
  const long held = CacheFileSize();
  ASSERT_GT(held, 0);

  sink->reports.clear();
  ASSERT_EQ(Retrieve(net.Get(), range.Url("/update.bin"), path), S_OK);
  EXPECT_TRUE(ReadFile(path) == Body());
  const std::vector<std::string> requests = range.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(RangeStart(requests[1]), held);
  EXPECT_NE(requests[1].find("\r\nIf-Range: \"v1\"\r\n"), std::string::npos) << requests[1];
  // The progress text shows the real position from the first read on.
  for (const auto& [title, value] : sink->reports) {
    if (title.rfind("Downloading file (", 0) != 0) continue;
    EXPECT_GE(std::stol(title.substr(18)), held / 1024) << title;
    EXPECT_NE(title.find("/1024 kb)"), std::string::npos) << title;
    break;
  }
  EXPECT_EQ(CacheFiles().size(), 1u);
}

// A short body is recorded only when the network cuts it, and is continued
// the same way.
TEST_F(QXNetTest, ShortDownloadCutByTheServerIsContinued) {
  const std::string body = Body().substr(0, 64 * 1024);
  const std::string head =
      "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
      std::to_string(body.size()) + "\r\nETag: \"v1\"\r\nAccept-Ranges: bytes\r\n";
  ScriptedServer server([&](const std::string& request) {
    const long start = RangeStart(request);
    return start < 0 ? ScriptedAnswer{head, body, size_t{30000}}
                     : Partial(static_cast<size_t>(start), body.size(), "\"v1\"", body);
  });
  auto net = NewObject(sink);
  std::string path;
  ASSERT_EQ(Retrieve(net.Get(), server.Url("/short.bin"), path), E_FAIL);
  qxtest::TakeErrorRecord();
  const long held = CacheFileSize();
  ASSERT_GT(held, 0);
  ASSERT_EQ(Retrieve(net.Get(), server.Url("/short.bin"), path), S_OK);
  EXPECT_TRUE(ReadFile(path) == body);
  const std::vector<std::string> requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(RangeStart(requests[1]), held);
  EXPECT_EQ(CacheFiles().size(), 1u);
}

TEST_F(QXNetTest, DownloadOfAKilledProcessIsCompletedWithOneRangeRequest) {
  ScriptedServer range([](const std::string& request) {
    const long start = RangeStart(request);
    if (start >= 0) return Partial(static_cast<size_t>(start), kTotal, "\"v1\"", Body());
    ScriptedAnswer first = Full(400000);
    first.holdAfterSending = true;
    return first;
  });
  const std::string url = range.Url("/update.bin");
  // A separate program, started by exec: it shares this test's registry and
  // cache through the environment. It is killed on every way out, so a failed
  // assertion never leaves it holding the test's output open.
  char* const arguments[] = {const_cast<char*>(QXTEST_RETRIEVE_CLIENT),
                             const_cast<char*>(url.c_str()), nullptr};
  pid_t child = -1;
  ASSERT_EQ(posix_spawn(&child, QXTEST_RETRIEVE_CLIENT, nullptr, nullptr, arguments, environ), 0);
  struct KillOnExit {
    pid_t pid;
    ~KillOnExit() {
      if (pid > 0 && kill(pid, SIGKILL) == 0) waitpid(pid, nullptr, 0);
    }
  } killOnExit{child};
  ASSERT_TRUE(range.WaitUntilHolding());
  // Killed once part of the body is on disk.
  for (int i = 0; i < 200 && CacheFileSize() <= 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  killOnExit.pid = 0;
  range.Release();
  const long held = CacheFileSize();
  ASSERT_GT(held, 0);

  auto net = NewObject(sink);
  std::string path;
  ASSERT_EQ(Retrieve(net.Get(), url, path), S_OK);
  EXPECT_TRUE(ReadFile(path) == Body());
  const std::vector<std::string> requests = range.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(RangeStart(requests[1]), held);
}

TEST_F(QXNetTest, EveryWrongAnswerToTheRangeRequestStartsOver) {
  std::string changed = Body();
  changed.push_back('!');
  struct Case {
    const char* name;
    std::function<ScriptedAnswer(size_t start)> answer;
    size_t requests;  // 3 when the download was asked for again without a range
  };
  const Case cases[] = {
      {"whole body", [](size_t) { return Full(); }, 2},
      {"other start", [](size_t start) { return Partial(start - 1000, kTotal, "\"v1\"", Body()); },
       3},
      {"other total",
       [&changed](size_t start) { return Partial(start, kTotal + 1, "\"v1\"", changed); }, 3},
      {"changed validator", [](size_t start) { return Partial(start, kTotal, "\"v2\"", Body()); },
       3},
      {"not satisfiable",
       [](size_t) {
         return ScriptedAnswer{"HTTP/1.1 416 Range Not Satisfiable\r\nContent-Length: 0\r\n", ""};
       },
       3},
  };
  size_t done = 0;
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    // The first answer is cut; a download asked for anew gets the whole body.
    int answered = 0;
    ScriptedServer range([&test, &answered](const std::string& request) {
      const long start = RangeStart(request);
      if (start >= 0) return test.answer(static_cast<size_t>(start));
      return ++answered == 1 ? Full(500000) : Full();
    });
    // Each case continues its own URL: the partial download is the URL's.
    auto net = NewObject();
    std::string path;
    ASSERT_EQ(Retrieve(net.Get(), range.Url("/file.bin"), path), E_FAIL);
    qxtest::TakeErrorRecord();
    ASSERT_EQ(Retrieve(net.Get(), range.Url("/file.bin"), path), S_OK);
    EXPECT_TRUE(ReadFile(path) == Body());
    const std::vector<std::string> requests = range.Requests();
    ASSERT_EQ(requests.size(), test.requests);
    EXPECT_GT(RangeStart(requests[1]), 0);
    EXPECT_EQ(RangeStart(requests.back()), test.requests == 3 ? -1 : RangeStart(requests[1]));
    // The old part is gone; one file per URL is left.
    EXPECT_EQ(CacheFiles().size(), ++done);
  }
}

TEST_F(QXNetTest, CancelOrAnHttpErrorDropsThePartialDownload) {
  for (const std::string ending : {"cancel", "404"}) {
    SCOPED_TRACE(ending);
    ScriptedServer range([&ending](const std::string& request) {
      const long start = RangeStart(request);
      if (start < 0) return Full(300000);
      if (ending == "404")
        return ScriptedAnswer{"HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n", ""};
      return Partial(static_cast<size_t>(start), kTotal, "\"v1\"", Body());
    });
    auto net = NewObject(sink);
    std::string path;
    ASSERT_EQ(Retrieve(net.Get(), range.Url("/x.bin"), path), E_FAIL);
    qxtest::TakeErrorRecord();
    ASSERT_EQ(CacheFiles().size(), 1u);
    if (ending == "cancel") sink->cancelAtTitle = "Downloading file (";
    EXPECT_EQ(Retrieve(net.Get(), range.Url("/x.bin"), path), E_FAIL);
    qxtest::TakeErrorRecord();
    EXPECT_EQ(range.Requests().size(), 2u);
    EXPECT_TRUE(CacheFiles().empty());
  }
}

}  // namespace
}  // namespace qxnettest

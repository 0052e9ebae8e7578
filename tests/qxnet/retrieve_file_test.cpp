// RetrieveFile against a loopback server: progress reports, End, cancel,
// destinations and the internet cache, failures mid-body.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "net/internet_service/internet_service.h"
#include "qxnet/text.h"
#include "tests/qxnet/qxnet_fixture.h"

namespace qxnettest {
namespace {

// The progress of the "Downloading file (" reports.
std::vector<long> ReadProgress(const std::vector<Report>& reports) {
  std::vector<long> progress;
  for (const auto& [title, value] : reports) {
    if (title.rfind("Downloading file (", 0) == 0) progress.push_back(value);
  }
  return progress;
}

TEST_F(QXNetTest, FirstAndSecondDownloadReportEveryStep) {
  const std::vector<Report> tail = {{"Downloading file", 10},
                                    {"Getting file size", 11},
                                    {"Downloading file (2 kb/2 kb)", 90},
                                    {"Finished downloading file", 90},
                                    {"Download complete", 100}};
  const std::vector<std::string> steps = {"Loading library functions",
                                          "Attempting to connect to the internet",
                                          "Opening internet access",
                                          "Opening connection to server",
                                          "Connection to server established",
                                          "Opening HTTP session",
                                          "Opened HTTP session",
                                          "Sending HTTP request",
                                          "Getting HTTP status",
                                          "HTTP request sent"};
  auto net = NewObject(sink);
  for (int round = 1; round <= 2; ++round) {
    SCOPED_TRACE(round);
    sink->reports.clear();
    std::string path;
    ASSERT_EQ(Retrieve(net.Get(), Url("/small.xml"), path), S_OK);
    // The session is kept: the second download opens no internet access.
    std::vector<Report> expected;
    for (const std::string& step : steps) {
      if (round == 2 && step == "Opening internet access") continue;
      expected.emplace_back(step, static_cast<long>(expected.size()) + 1);
    }
    expected.insert(expected.end(), tail.begin(), tail.end());
    EXPECT_EQ(sink->reports, expected);
    EXPECT_EQ(sink->ends, round);
    EXPECT_EQ(ReadFile(path), std::string(2048, 'a'));
    EXPECT_EQ(path.substr(0, path.rfind('/')), CacheFolder());
  }
  EXPECT_EQ(server->ConnectionCount(), 1u);  // one TCP connection for both
  EXPECT_EQ(CacheFiles().size(), 1u);        // the second commit replaced the first

  // The entry carries the server's modification time.
  const std::u16string url = qx::Utf8ToUtf16(Url("/small.xml"));
  DWORD size = 4096;
  std::vector<char> buffer(size);
  auto* entry = reinterpret_cast<qx::inet::INTERNET_CACHE_ENTRY_INFOW*>(buffer.data());
  ASSERT_TRUE(
      qx::inet::GetUrlCacheEntryInfoExW(url.c_str(), entry, &size, nullptr, nullptr, nullptr, 0));
  SYSTEMTIME modified{};
  ASSERT_TRUE(qx::inet::FileTimeToSystemTime(&entry->LastModifiedTime, &modified));
  EXPECT_EQ(std::vector<int>(
                {modified.wYear, modified.wMonth, modified.wDay, modified.wHour, modified.wMinute}),
            std::vector<int>({2015, 10, 21, 7, 28}));
}

TEST_F(QXNetTest, DestinationReceivesACopyOrFailsTheCall) {
  auto net = NewObject(sink);
  const std::string destination = qxtest::TestRoot() + "/copy.xml";
  { std::ofstream(destination) << "older and longer content than before, to be replaced"; }
  std::string path;
  ASSERT_EQ(Retrieve(net.Get(), Url("/small.xml"), path, destination), S_OK);
  EXPECT_EQ(path, destination);
  EXPECT_EQ(ReadFile(destination), std::string(2048, 'a'));
  EXPECT_TRUE(IsCached(Url("/small.xml")));

  const std::string unwritable = qxtest::TestRoot() + "/no/such/folder/copy.xml";
  EXPECT_EQ(Retrieve(net.Get(), Url("/big.bin"), path, unwritable), E_FAIL);
  EXPECT_EQ(TakeErrorText().rfind("Unable to copy file:\n   " + unwritable, 0), 0u);
  EXPECT_EQ(sink->ends, 2);
  EXPECT_FALSE(IsCached(Url("/big.bin")));
  EXPECT_EQ(CacheFiles().size(), 1u);
}

TEST_F(QXNetTest, ProgressOfEmptyUnknownLengthAndMultiMegabyteBodies) {
  auto net = NewObject(sink);
  std::string path;
  ASSERT_EQ(Retrieve(net.Get(), Url("/empty"), path), S_OK);
  EXPECT_EQ(ReadFile(path), "");
  EXPECT_TRUE(ReadProgress(sink->reports).empty());
  ASSERT_GE(sink->reports.size(), 2u);
  EXPECT_EQ(sink->reports[sink->reports.size() - 2], Report("Finished downloading file", 90));

  // No content length: the total shows 0 kb and each read adds one point
  // per full 100 bytes.
  sink->reports.clear();
  ASSERT_EQ(Retrieve(net.Get(), Url("/chunked"), path), S_OK);
  EXPECT_EQ(ReadFile(path), std::string(3000, 'c'));
  for (const auto& [title, value] : sink->reports) {
    if (title.rfind("Downloading file (", 0) == 0) {
      EXPECT_NE(title.find(" kb/0 kb)"), std::string::npos) << title;
    }
  }
  std::vector<long> progress = ReadProgress(sink->reports);
  ASSERT_FALSE(progress.empty());
  EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
  EXPECT_LE(progress.back() - 11, 30);
  EXPECT_GE(progress.back() - 11, 30 - static_cast<long>(progress.size()));

  // A multi-megabyte body: the progress advances with the bytes.
  sink->reports.clear();
  ASSERT_EQ(Retrieve(net.Get(), Url("/large.bin"), path), S_OK);
  progress = ReadProgress(sink->reports);
  ASSERT_GT(progress.size(), 10u);
  EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
  EXPECT_GE(progress.back(), 80);
  EXPECT_LE(progress.back(), 90);
  // Each value is as far from 11 towards 90 as its report's bytes are
  // through the body (however the reads happen to be sized).
  for (const auto& [title, value] : sink->reports) {
    long got = 0;
    long total = 0;
    if (std::sscanf(title.c_str(), "Downloading file (%ld kb/%ld kb)", &got, &total) != 2) continue;
    ASSERT_GT(total, 0);
    EXPECT_NEAR(value, 11 + 79.0 * static_cast<double>(got) / static_cast<double>(total), 2)
        << title;
  }
}

// Which answer cancels is the transfer state's rule; here a cancel or an
// exception thrown by a sink at any step ends the call with nothing cached.
TEST_F(QXNetTest, CancelOrASinkExceptionEndsTheCallCleanly) {
  const struct {
    const char* title;
    bool cancel;  // else the sink throws
  } cases[] = {{"Opening HTTP session", true},      {"Downloading file (", true},
               {"Finished downloading file", true}, {"Opening HTTP session", false},
               {"Downloading file (", false},       {"Download complete", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.title) + (c.cancel ? " cancel" : " throw"));
    auto net = NewObject(sink);
    (c.cancel ? sink->cancelAtTitle : sink->throwAtTitle) = c.title;
    sink->ends = 0;
    std::string path;
    EXPECT_EQ(Retrieve(net.Get(), Url("/big.bin"), path), E_FAIL);
    if (c.cancel) {
      EXPECT_EQ(TakeErrorText(), "Canceled");
    }
    EXPECT_EQ(sink->ends, 1);
    EXPECT_FALSE(IsCached(Url("/big.bin")));
    EXPECT_TRUE(CacheFiles().empty());
  }
}

TEST_F(QXNetTest, CacheLimitIsAppliedAfterEachCommit) {
  setenv("QXNET_CACHE_LIMIT", "100K", 1);
  auto net = NewObject();
  std::string path;
  // Which entries a trim removes is the cache upkeep's rule; here a commit
  // over the limit trims: the newest entry stays, the one before it goes.
  ASSERT_EQ(Retrieve(net.Get(), Url("/small.xml"), path), S_OK);
  ASSERT_EQ(Retrieve(net.Get(), Url("/big.bin"), path), S_OK);
  EXPECT_TRUE(IsCached(Url("/big.bin")));
  EXPECT_FALSE(IsCached(Url("/small.xml")));
  unsetenv("QXNET_CACHE_LIMIT");
}

TEST_F(QXNetTest, ServerClosingOrStallingMidBodyLeavesNoEntryAndNoFile) {
  setenv("QXNET_STALL_TIMEOUT_MS", "700", 1);
  for (const std::string name : {"/cut", "/stall"}) {
    SCOPED_TRACE(name);
    auto net = NewObject(sink);
    sink->ends = 0;
    std::string path;
    EXPECT_EQ(Retrieve(net.Get(), Url(name), path), E_FAIL);
    // Either body-reading message, with the service's reason after it.
    const std::string message = TakeErrorText();
    const std::string prefixes[] = {"Error in InternetQueryDataAvailable",
                                    "Error reading file with InternetReadFile\n"};
    EXPECT_TRUE(std::any_of(std::begin(prefixes), std::end(prefixes), [&](const std::string& p) {
      return message.rfind(p, 0) == 0 && message.size() > p.size();
    })) << message;
    if (name == "/stall") {
      EXPECT_NE(message.find("0.7 seconds"), std::string::npos) << message;
    }
    EXPECT_EQ(sink->ends, 1);
    EXPECT_FALSE(IsCached(Url(name)));
    EXPECT_TRUE(CacheFiles().empty());
  }
  unsetenv("QXNET_STALL_TIMEOUT_MS");
}

}  // namespace
}  // namespace qxnettest

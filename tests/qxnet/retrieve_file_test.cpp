// RetrieveFile against a loopback server: progress reports, End, cancel,
// destinations and the internet cache, failures mid-body.
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "net/internet_service/internet_service.h"
#include "platform/com/text.h"
#include "tests/qxnet/qxnet_fixture.h"

namespace qxnettest {
namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// The body failed while asking for the bytes ready or while reading them;
// either message carries the service's reason after it.
bool IsBodyReadFailure(const std::string& message) {
  for (const std::string prefix :
       {"Error in InternetQueryDataAvailable", "Error reading file with InternetReadFile\n"}) {
    if (message.rfind(prefix, 0) == 0 && message.size() > prefix.size()) return true;
  }
  return false;
}

std::string FolderOf(const std::string& path) { return path.substr(0, path.rfind('/')); }

const std::vector<Report> kAfterRequestSent = {
    {"Downloading file", 10},
    {"Getting file size", 11},
    {"Downloading file (2 kb/2 kb)", 90},
    {"Finished downloading file", 90},
    {"Download complete", 100},
};

TEST_F(QXNetTest, FirstAndSecondDownloadReportEveryStep) {
  auto net = NewObject(sink);
  std::string path;
  ASSERT_EQ(Retrieve(net.Get(), Url("/small.xml"), path), S_OK);
  std::vector<Report> first = {
      {"Loading library functions", 1},       {"Attempting to connect to the internet", 2},
      {"Opening internet access", 3},         {"Opening connection to server", 4},
      {"Connection to server established", 5}, {"Opening HTTP session", 6},
      {"Opened HTTP session", 7},             {"Sending HTTP request", 8},
      {"Getting HTTP status", 9},             {"HTTP request sent", 10},
  };
  first.insert(first.end(), kAfterRequestSent.begin(), kAfterRequestSent.end());
  EXPECT_EQ(sink->reports, first);
  EXPECT_EQ(sink->ends, 1);
  EXPECT_EQ(ReadFile(path), std::string(2048, 'a'));
  EXPECT_EQ(FolderOf(path), CacheFolder());
  EXPECT_TRUE(IsCached(Url("/small.xml")));

  // The session is kept: the second download opens no internet access.
  sink->reports.clear();
  ASSERT_EQ(Retrieve(net.Get(), Url("/small.xml"), path), S_OK);
  std::vector<Report> second = {
      {"Loading library functions", 1},       {"Attempting to connect to the internet", 2},
      {"Opening connection to server", 3},    {"Connection to server established", 4},
      {"Opening HTTP session", 5},            {"Opened HTTP session", 6},
      {"Sending HTTP request", 7},            {"Getting HTTP status", 8},
      {"HTTP request sent", 9},
  };
  second.insert(second.end(), kAfterRequestSent.begin(), kAfterRequestSent.end());
  EXPECT_EQ(sink->reports, second);
  EXPECT_EQ(sink->ends, 2);
  // Both downloads from one host went over one TCP connection.
  EXPECT_EQ(server->ConnectionCount(), 1u);
  // The second commit replaced the first entry and its file.
  EXPECT_EQ(CacheFiles().size(), 1u);
}

TEST_F(QXNetTest, CommittedEntryCarriesTheServersModificationTime) {
  auto net = NewObject();
  std::string path;
  ASSERT_EQ(Retrieve(net.Get(), Url("/small.xml"), path), S_OK);
  const std::u16string url = qx::Utf8ToUtf16(Url("/small.xml"));
  DWORD size = 0;
  qx::inet::GetUrlCacheEntryInfoExW(url.c_str(), nullptr, &size, nullptr, nullptr, nullptr, 0);
  std::vector<char> buffer(size);
  auto* entry = reinterpret_cast<qx::inet::INTERNET_CACHE_ENTRY_INFOW*>(buffer.data());
  ASSERT_TRUE(qx::inet::GetUrlCacheEntryInfoExW(url.c_str(), entry, &size, nullptr, nullptr,
                                                nullptr, 0));
  SYSTEMTIME modified{};
  ASSERT_TRUE(qx::inet::FileTimeToSystemTime(&entry->LastModifiedTime, &modified));
  EXPECT_EQ(modified.wYear, 2015);
  EXPECT_EQ(modified.wMonth, 10);
  EXPECT_EQ(modified.wDay, 21);
  EXPECT_EQ(modified.wHour, 7);
  EXPECT_EQ(modified.wMinute, 28);
}

TEST_F(QXNetTest, DestinationReceivesACopyAndIsHandedBack) {
  auto net = NewObject();
  const std::string destination = qxtest::TestRoot() + "/copy.xml";
  { std::ofstream(destination) << "older and longer content than before, to be replaced"; }
  std::string path;
  ASSERT_EQ(Retrieve(net.Get(), Url("/small.xml"), path, destination), S_OK);
  EXPECT_EQ(path, destination);
  EXPECT_EQ(ReadFile(destination), std::string(2048, 'a'));
  EXPECT_TRUE(IsCached(Url("/small.xml")));
  EXPECT_EQ(CacheFiles().size(), 1u);
}

TEST_F(QXNetTest, DestinationThatCannotBeWrittenFailsTheCall) {
  auto net = NewObject(sink);
  std::string path;
  const std::string destination = qxtest::TestRoot() + "/no/such/folder/copy.xml";
  EXPECT_EQ(Retrieve(net.Get(), Url("/small.xml"), path, destination), E_FAIL);
  const auto error = qxtest::TakeErrorRecord();
  EXPECT_EQ(qxtest::Narrow(error.description).rfind("Unable to copy file:\n   " + destination, 0),
            0u);
  EXPECT_EQ(sink->ends, 1);
  EXPECT_FALSE(IsCached(Url("/small.xml")));
  EXPECT_TRUE(CacheFiles().empty());
}

TEST_F(QXNetTest, EmptyBodyAndUnknownLengthBodies) {
  auto net = NewObject(sink);
  std::string path;
  ASSERT_EQ(Retrieve(net.Get(), Url("/empty"), path), S_OK);
  EXPECT_EQ(ReadFile(path), "");
  for (const auto& [title, progress] : sink->reports) {
    EXPECT_EQ(title.find("Downloading file ("), std::string::npos) << title;
  }
  ASSERT_GE(sink->reports.size(), 2u);
  EXPECT_EQ(sink->reports[sink->reports.size() - 2], Report("Finished downloading file", 90));

  // No content length: the total shows 0 kb and each read adds one point
  // per full 100 bytes.
  sink->reports.clear();
  ASSERT_EQ(Retrieve(net.Get(), Url("/chunked"), path), S_OK);
  EXPECT_EQ(ReadFile(path), std::string(3000, 'c'));
  long previous = 11;
  long received = 0;
  int reads = 0;
  for (const auto& [title, progress] : sink->reports) {
    if (title.rfind("Downloading file (", 0) != 0) continue;
    ++reads;
    EXPECT_NE(title.find(" kb/0 kb)"), std::string::npos) << title;
    EXPECT_GT(progress, previous - 1);
    previous = progress;
    received = progress - 11;
  }
  EXPECT_GE(reads, 1);
  EXPECT_LE(received, 30);
  EXPECT_GE(received, 30 - reads);
}

TEST_F(QXNetTest, KnownLengthSpreadsProgressUpTo90) {
  auto net = NewObject(sink);
  std::string path;
  ASSERT_EQ(Retrieve(net.Get(), Url("/big.bin"), path), S_OK);
  long last = 0;
  for (const auto& [title, progress] : sink->reports) {
    if (title.rfind("Downloading file (", 0) != 0) continue;
    EXPECT_GE(progress, last);
    EXPECT_LE(progress, 90);
    last = progress;
  }
  EXPECT_GE(last, 89);  // truncation may lose a point per read
  EXPECT_EQ(ReadFile(path).size(), 204800u);
}

TEST_F(QXNetTest, CancelByMinusOneEndsTheCallAndLeavesNoCacheFile) {
  for (const std::string title :
       {"Opening HTTP session", "Downloading file (", "Finished downloading file"}) {
    auto net = NewObject(sink);
    sink->cancelAtTitle = title;
    sink->ends = 0;
    std::string path;
    EXPECT_EQ(Retrieve(net.Get(), Url("/big.bin"), path), E_FAIL) << title;
    EXPECT_EQ(qxtest::Narrow(qxtest::TakeErrorRecord().description), "Canceled");
    EXPECT_EQ(sink->ends, 1);
    EXPECT_FALSE(IsCached(Url("/big.bin")));
    EXPECT_TRUE(CacheFiles().empty()) << title;
  }
}

TEST_F(QXNetTest, CancelFlagOfOneDoesNotCancel) {
  auto net = NewObject(sink);
  sink->cancelAtTitle = "Opening HTTP session";
  sink->cancelAnswer = 1;
  std::string path;
  EXPECT_EQ(Retrieve(net.Get(), Url("/small.xml"), path), S_OK);
  EXPECT_TRUE(sink->cancelAtTitle.empty());  // the answer was given
}

TEST_F(QXNetTest, ServerClosingMidBodyLeavesNoEntryAndNoFile) {
  auto net = NewObject(sink);
  std::string path;
  EXPECT_EQ(Retrieve(net.Get(), Url("/cut"), path), E_FAIL);
  const std::string message = qxtest::Narrow(qxtest::TakeErrorRecord().description);
  EXPECT_TRUE(IsBodyReadFailure(message)) << message;
  EXPECT_EQ(sink->ends, 1);
  EXPECT_FALSE(IsCached(Url("/cut")));
  EXPECT_TRUE(CacheFiles().empty());
}

TEST_F(QXNetTest, StalledServerFailsInsteadOfHanging) {
  setenv("QXNET_STALL_TIMEOUT_MS", "700", 1);
  auto net = NewObject(sink);
  std::string path;
  EXPECT_EQ(Retrieve(net.Get(), Url("/stall"), path), E_FAIL);
  const std::string message = qxtest::Narrow(qxtest::TakeErrorRecord().description);
  EXPECT_TRUE(IsBodyReadFailure(message)) << message;
  EXPECT_NE(message.find("0.7 seconds"), std::string::npos) << message;
  EXPECT_TRUE(CacheFiles().empty());
  unsetenv("QXNET_STALL_TIMEOUT_MS");
}

TEST_F(QXNetTest, HostileUrlsKeepCacheFilesInsideTheCacheFolder) {
  auto net = NewObject();
  for (const std::string suffix :
       {"/a.b/../../x", "/feed.xml?x=/../../etc", "/f.%2e%2e%2f%2e%2e%2fpasswd",
        "/x.\\..\\..\\evil", "/dir/"}) {
    std::string path;
    ASSERT_EQ(Retrieve(net.Get(), Url(suffix), path), S_OK) << suffix;
    EXPECT_EQ(FolderOf(path), CacheFolder()) << suffix << " -> " << path;
    EXPECT_EQ(path.find(".."), std::string::npos) << path;
    struct stat info {};
    EXPECT_EQ(lstat(path.c_str(), &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode));
  }
}

TEST_F(QXNetTest, OffLineMachineIsToldSo) {
  setenv("QXNET_ONLINE", "0", 1);
  auto net = NewObject(sink);
  std::string path;
  EXPECT_EQ(Retrieve(net.Get(), Url("/small.xml"), path), E_FAIL);
  EXPECT_EQ(qxtest::Narrow(qxtest::TakeErrorRecord().description),
            "You must be connected to the internet to retrieve the file");
  EXPECT_EQ(sink->ends, 1);
  EXPECT_EQ(server->ConnectionCount(), 0u);
}

}  // namespace
}  // namespace qxnettest

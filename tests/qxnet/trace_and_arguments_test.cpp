// The trace lines of a download, the object's creation and destruction
// lines, and the argument and URL faults of RetrieveFile.
#include <algorithm>

#include "qxnet/text.h"
#include "tests/qxnet/qxnet_fixture.h"

namespace qxnettest {
namespace {

TEST_F(QXNetTest, DownloadWritesItsTraceLinesInOrder) {
  std::string path;
  const std::string url = Url("/small.xml");
  {
    auto net = NewObject();
    ASSERT_EQ(Retrieve(net.Get(), url, path), S_OK);
    advised.clear();
  }
  // The log's encoding and line ends are the trace log's own test.
  const std::vector<std::string> entries = TraceEntries();
  ASSERT_GE(entries.size(), 3u);
  EXPECT_EQ(entries[0], "----------CQXNet()------------");
  EXPECT_EQ(entries[1], "*Start SYSINFO");
  // One line of each kind, in this order: the call with its arguments, a
  // progress report, a step's result, the file name, the progress text with
  // sizes, the commit with both names, the return and the destruction.
  const std::vector<std::string> expected = {
      "CQXNet::RetrieveFile:(" + url + ",0)",
      "CQXNet::OnProgress(Loading library functions,1)",
      "CQXNet::AttemptInternetConnection return : true",
      "CQXNet::GetCacheNewFileName return : " + path,
      "CQXNet::OnProgress(Downloading file (2 kb/2 kb),90)",
      "CQXNet::CommitCacheEntry(" + url + "," + path + ")",
      "CQXNet::RetrieveFile return",
      "----------~CQXNet()------------",
  };
  auto next = entries.begin();
  for (const std::string& line : expected) {
    next = std::find(next, entries.end(), line);
    ASSERT_NE(next, entries.end()) << "missing or out of order: " << line;
  }
  EXPECT_EQ(entries.back(), expected.back());
}

TEST_F(QXNetTest, MissingArgumentsAreRefusedFirstBadUrlsAfterEndFires) {
  auto net = NewObject(sink);
  qx::BStr url = qx::BStr::FromUtf8(Url("/small.xml"));
  qx::BStr empty(u"");
  BSTR fileName = nullptr;
  const std::pair<BSTR, BSTR*> calls[] = {
      {url.Get(), nullptr}, {nullptr, &fileName}, {empty.Get(), &fileName}};
  for (const auto& [urlArgument, fileArgument] : calls) {
    EXPECT_EQ(net->RetrieveFile(urlArgument, 0, fileArgument), E_INVALIDARG);
    EXPECT_EQ(qxtest::TakeErrorText(), "Invalid parameter");
  }
  EXPECT_EQ(fileName, nullptr);
  // Nothing ran: no progress, no End, no connection.
  EXPECT_TRUE(sink->reports.empty());
  EXPECT_EQ(sink->ends, 0);
  EXPECT_EQ(server->ConnectionCount(), 0u);

  std::string path;
  EXPECT_EQ(Retrieve(net.Get(), "ftp://127.0.0.1/file.txt", path), E_FAIL);
  EXPECT_EQ(qxtest::TakeErrorText(), "Invalid URL.\n    ftp://127.0.0.1/file.txt");
  EXPECT_EQ(sink->ends, 1);
  EXPECT_EQ(Retrieve(net.Get(), "no scheme at all", path), E_FAIL);
  EXPECT_EQ(qxtest::TakeErrorText(), "Unrecognized scheme in url");
}

}  // namespace
}  // namespace qxnettest

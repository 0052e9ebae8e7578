// A body that cannot be written to its cache file (a full disk, here a
// file-size limit) fails the download as a write failure, not as a cut
// connection: nothing is kept to be continued and no entry is made.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>

#include "tests/qxnet/qxnet_fixture.h"

namespace qxnettest {
namespace {

TEST_F(QXNetTest, BodyThatCannotBeWrittenLeavesNoFileAndNoEntry) {
  auto net = NewObject(sink);
  Download(net.Get(), Url("/small.xml"));  // the index exists before the limit
  const size_t filesBefore = CacheFiles().size();

  // The limit stands for a full disk part way through the 200 KiB body (the
  // size signal is ignored, so the write reports an error).
  auto* oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit previous{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previous), 0);
  rlimit limited = previous;
  limited.rlim_cur = 96 * 1024;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
  std::string path;
  const HRESULT hr = Retrieve(net.Get(), Url("/big.bin"), path);
  setrlimit(RLIMIT_FSIZE, &previous);
  std::signal(SIGXFSZ, oldHandler);

  EXPECT_EQ(hr, E_FAIL);
  const std::string message = TakeErrorText();
  EXPECT_EQ(message.rfind("Unable to write output file:\n   ", 0), 0u) << message;
  EXPECT_FALSE(IsCached(Url("/big.bin")));
  EXPECT_EQ(CacheFiles().size(), filesBefore);

  // Nothing was left to continue: the next download starts from byte 0.
  EXPECT_EQ(Retrieve(net.Get(), Url("/big.bin"), path), S_OK);
  EXPECT_EQ(ReadFile(path), std::string(204800, 'b'));
}

}  // namespace
}  // namespace qxnettest

// Bodies received in place: every byte once and in order, however the
// reader's pieces and the server's writes fall against the transfer's
// pause-and-resume bound.
#include <gtest/gtest.h>

#include <string>

#include "net/internet_service/internet_service.h"
#include "tests/internet_service/exchange.h"
#include "tests/support/loopback_server.h"

using namespace qx::inet;
using inettest::Exchange;
using inettest::PatternAt;

namespace {

TEST(ReadInPlaceTest, HandsOverEveryByteOnceWithinTheAskedSize) {
  qxtest::LoopbackServer server;
  inettest::ServePattern(server.http());
  server.Start();
  struct Case {
    DWORD piece;
    size_t size;
  };
  // Sizes above the transfer's 256 KiB bound make it pause and resume.
  for (const Case& c : {Case{1, 5000}, Case{4096, 3u << 20}, Case{1u << 20, (3u << 20) + 17}}) {
    SCOPED_TRACE(std::to_string(c.piece) + " / " + std::to_string(c.size));
    Exchange get(server.port(), nullptr, "/pattern?n=" + std::to_string(c.size));
    ASSERT_TRUE(get.Send()) << GetLastError();
    size_t total = 0;
    size_t largest = 0;
    bool intact = true;
    const BodyConsumer check = [&](const char* data, size_t size) {
      for (size_t i = 0; i < size && intact; ++i) intact = data[i] == PatternAt(total + i);
      total += size;
      largest = std::max(largest, size);
      return true;
    };
    for (DWORD got = 1; got != 0;) {
      const size_t before = total;
      ASSERT_TRUE(InternetReadFileInPlace(get.request, c.piece, check, &got)) << GetLastError();
      ASSERT_EQ(total - before, got);
    }
    EXPECT_TRUE(intact);
    EXPECT_EQ(total, c.size);
    EXPECT_LE(largest, c.piece);
  }
}

}  // namespace

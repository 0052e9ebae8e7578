// Handle identity and lifetime: a closed handle stays refused, and a close
// racing with calls on another thread never frees an object in use.
#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>
#include <vector>

#include "net/internet_service/internet_service.h"

using namespace qx::inet;

namespace {

HINTERNET OpenSession() {
  return InternetOpenW(u"agent", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
}

TEST(HandleTableTest, ClosedHandleIsNeverIssuedAgain) {
  HINTERNET closed = OpenSession();
  ASSERT_NE(closed, nullptr);
  ASSERT_TRUE(InternetCloseHandle(closed));
  // New objects of the same size reuse the freed memory; their handles
  // must still differ from the closed one.
  std::set<HINTERNET> issued;
  for (int i = 0; i < 200; ++i) {
    HINTERNET session = OpenSession();
    EXPECT_NE(session, closed);
    EXPECT_TRUE(issued.insert(session).second);
    EXPECT_TRUE(InternetCloseHandle(session));
  }
  HINTERNET live = OpenSession();
  EXPECT_EQ(
      InternetConnectW(closed, u"127.0.0.1", 80, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0),
      nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(InternetCloseHandle(closed));
  EXPECT_TRUE(InternetCloseHandle(live));
}

TEST(HandleTableTest, CloseOnAnotherThreadWhileCallsUseTheHandle) {
  // Under AddressSanitizer or ThreadSanitizer a call reading a handle that
  // another thread freed is reported; without them the calls must still
  // either work or refuse the handle.
  for (int round = 0; round < 20; ++round) {
    HINTERNET session = OpenSession();
    HINTERNET connection =
        InternetConnectW(session, u"127.0.0.1", 80, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
    ASSERT_NE(connection, nullptr);
    std::atomic<bool> go{false};
    std::vector<std::thread> users;
    for (int t = 0; t < 3; ++t) {
      // Each user opens requests until the close reaches it.
      users.emplace_back([&] {
        while (!go) std::this_thread::yield();
        for (;;) {
          HINTERNET request = HttpOpenRequestW(connection, u"GET", u"/a/long/enough/path", nullptr,
                                               nullptr, nullptr, 0, 0);
          if (request == nullptr) {
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
            return;
          }
          EXPECT_TRUE(InternetCloseHandle(request));
        }
      });
    }
    go = true;
    std::this_thread::yield();
    EXPECT_TRUE(InternetCloseHandle(connection));
    for (auto& user : users) user.join();
    EXPECT_TRUE(InternetCloseHandle(session));
  }
}

}  // namespace

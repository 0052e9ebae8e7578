// The trace log keeps its file open between entries: these cases change the
// file under the open descriptor and check that entries follow the path.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include "net/trace_log/trace_log.h"
#include "qxnet/text.h"
#include "tests/support/files.h"

namespace {

using qxtest::ReadFile;

// The bytes of `ascii` as the log stores text: UTF-16LE.
std::string Utf16Bytes(const std::string& ascii) {
  std::string bytes;
  for (char c : ascii) {
    bytes.push_back(c);
    bytes.push_back('\0');
  }
  return bytes;
}

bool Holds(const std::string& path, const std::string& ascii) {
  return ReadFile(path).find(Utf16Bytes(ascii)) != std::string::npos;
}

TEST(TraceLogFile, EntriesFollowTheFileAtThePath) {
  const std::string folder = std::getenv("TMPDIR");
  const std::string path = qx::Utf16ToUtf8(qx::net::GetLogFilePath());
  const std::string moved = folder + "/moved.log";
  const struct {
    const char* name;
    void (*change)(const std::string& path, const std::string& moved);
  } cases[] = {
      {"removed", [](const std::string& p, const std::string&) { unlink(p.c_str()); }},
      {"replaced by a rename",
       [](const std::string& p, const std::string& m) {
         { std::ofstream(m, std::ios::binary) << ""; }
         ASSERT_EQ(rename(m.c_str(), p.c_str()), 0);
       }},
      // The old file keeps its name elsewhere: only the comparison of device
      // and inode with the path, made about once a second, notices it.
      {"renamed away",
       [](const std::string& p, const std::string& m) {
         ASSERT_EQ(rename(p.c_str(), m.c_str()), 0);
         std::this_thread::sleep_for(std::chrono::milliseconds(1100));
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    unlink(path.c_str());
    unlink(moved.c_str());
    qx::net::WriteLog(u"before");
    ASSERT_TRUE(Holds(path, "before"));
    c.change(path, moved);
    qx::net::WriteLog(u"after");
    const std::string bytes = ReadFile(path);
    EXPECT_TRUE(Holds(path, "after"));
    EXPECT_FALSE(Holds(path, "before"));
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE") << "a new file starts with the byte-order mark";
    EXPECT_FALSE(Holds(moved, "after"));
  }
  unlink(moved.c_str());
}

}  // namespace

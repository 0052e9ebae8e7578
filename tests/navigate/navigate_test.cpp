// The browser stand-in: the form upload hands URL, headers and body to the
// detached helper and returns; the helper posts the exact body, keeps the
// answer page in the temporary folder and opens it only when visible.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "net/upload/base64.h"
#include "net/upload/form_navigation.h"
#include "net/upload/post_data.h"
#include "net/upload/temporary_folder.h"
#include "net/upload/upload_error.h"
#include "tests/support/com_test.h"
#include "tests/support/files.h"
#include "tests/support/form_server.h"
#include "tests/support/loopback_sockets.h"

namespace {

namespace fs = std::filesystem;
using qxtest::FormServer;

// Answer pages in the temporary folder.
std::vector<std::string> AnswerPages() {
  std::vector<std::string> pages;
  for (const auto& entry : fs::directory_iterator(qx::net::TemporaryFolder())) {
    if (entry.path().filename().string().rfind("qxN", 0) == 0 &&
        entry.path().extension() == ".htm") {
      pages.push_back(entry.path().string());
    }
  }
  return pages;
}

// Polls `found` for up to a minute; what it found last.
template <class Find>
std::string WaitFor(Find found) {
  std::string result;
  for (int i = 0; i < 6000 && (result = found()).empty(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return result;
}

// Runs the helper to its end with `body` on its standard input; returns its
// exit status and the first line it printed.
int RunHelper(const std::vector<std::string>& arguments, const std::string& body,
              std::string* printed) {
  const std::string helper = qx::net::FindNavigateHelper();
  EXPECT_FALSE(helper.empty());
  const std::string outFile = qxtest::TempPath("printed.txt");
  std::string command = "'" + helper + "'";
  for (const std::string& argument : arguments) command += " '" + argument + "'";
  command += " < '" + qxtest::WriteTempFile("body.txt", body) + "' > '" + outFile + "'";
  const int status = std::system(command.c_str());
  printed->clear();
  std::istringstream(qxtest::ReadFile(outFile)) >> *printed;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Each test starts with no answer pages and with the desktop's opener
// replaced by a script that writes its argument into `marker`.
class Navigate : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const std::string& page : AnswerPages()) fs::remove(page);
    fs::remove(marker);
    const std::string folder = qxtest::TestRoot() + "/fakebin";
    fs::create_directories(folder);
    std::ofstream(folder + "/xdg-open")
        << "#!/bin/sh\nprintf '%s' \"$1\" > \"" << marker << ".part\"\n"
        << "mv \"" << marker << ".part\" \"" << marker << "\"\n";
    fs::permissions(folder + "/xdg-open", fs::perms::owner_all);
    setenv("PATH", (folder + ":" + std::getenv("PATH")).c_str(), 1);
  }
  const std::string marker = qxtest::TestRoot() + "/opened.txt";
};

TEST_F(Navigate, FormIsPostedByTheHelperAfterTheCallReturned) {
  FormServer server;
  std::string data;
  for (int i = 0; i < 60000; ++i) data.push_back(static_cast<char>(i * 7 + i / 256));
  qx::net::Base64Data(data);
  std::string body;
  qx::net::PackagePostData(data, "upload file", body);
  ASSERT_GT(body.size(), 2 * qx::net::kPostPieceLength);

  qx::net::NavigateWithPostData({server.Url(), qx::net::kFormContentTypeHeader, body, false});
  server.MarkCallReturned();
  qxtest::ReceivedPost post;
  ASSERT_TRUE(server.WaitForPost(&post));
  EXPECT_EQ(
      std::tie(post.callHadReturned, post.body, post.contentType, post.userAgent),
      std::make_tuple(true, body, "application/x-www-form-urlencoded", "Corvane 11.0.6.5036"));

  const std::string page = WaitFor([] {
    for (const std::string& page : AnswerPages()) {
      if (qxtest::ReadFile(page) == FormServer::kAnswerPage) return page;
    }
    return std::string();
  });
  ASSERT_FALSE(page.empty()) << "no answer page in the temporary folder";
  struct stat info {};
  ASSERT_EQ(stat(page.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  // The body went through a private file that is already gone.
  for (const auto& entry : fs::directory_iterator(qx::net::TemporaryFolder())) {
    EXPECT_EQ(entry.path().string(), page);
  }
  EXPECT_FALSE(fs::exists(marker)) << "the opener was run for a hidden navigation";
}

TEST_F(Navigate, VisibleNavigationOpensTheAnswerPage) {
  FormServer server;
  qx::net::NavigateWithPostData({server.Url(), qx::net::kFormContentTypeHeader, "f=YWJj", true});
  server.MarkCallReturned();
  qxtest::ReceivedPost post;
  ASSERT_TRUE(server.WaitForPost(&post));
  EXPECT_EQ(post.body, "f=YWJj");
  const std::string opened =
      WaitFor([&] { return fs::exists(marker) ? qxtest::ReadFile(marker) : std::string(); });
  ASSERT_FALSE(opened.empty()) << "the opener was not run";
  EXPECT_EQ(qxtest::ReadFile(opened), FormServer::kAnswerPage);
}

TEST_F(Navigate, HelperPrintsTheAnswerPageOrAPageSayingWhy) {
  FormServer server;
  server.MarkCallReturned();
  std::string printed;
  const std::string body = "f=a%20b%22c%e2%82%ac&f=%2b%3d";
  EXPECT_EQ(
      RunHelper({"--header", qx::net::kFormContentTypeHeader, "--", server.Url()}, body, &printed),
      0);
  qxtest::ReceivedPost post;
  ASSERT_TRUE(server.WaitForPost(&post));
  EXPECT_EQ(post.body, body);
  EXPECT_EQ(qxtest::ReadFile(printed), FormServer::kAnswerPage);
  EXPECT_EQ(fs::path(printed).parent_path(), fs::path(qx::net::TemporaryFolder()));
  EXPECT_FALSE(fs::exists(marker)) << "the opener was run for a hidden navigation";

  const std::string url = "http://127.0.0.1:" + std::to_string(qxtest::ClosedPort()) + "/";
  EXPECT_EQ(RunHelper({"--", url}, "f=1", &printed), 1);
  const std::string page = qxtest::ReadFile(printed);
  EXPECT_NE(page.find("<html>"), std::string::npos);
  EXPECT_NE(page.find(url), std::string::npos);
}

TEST_F(Navigate, BadCommandLineAndMissingHelperAreRefused) {
  std::string printed;
  EXPECT_EQ(RunHelper({}, "", &printed), 2);
  EXPECT_EQ(RunHelper({"--unknown", "http://127.0.0.1:1/"}, "", &printed), 2);
  EXPECT_TRUE(AnswerPages().empty());

  setenv("QXNET_NAVIGATE", (qxtest::TestRoot() + "/no-such-helper").c_str(), 1);
  try {
    qx::net::NavigateWithPostData({"http://127.0.0.1:1/", "", "f=1", false});
    ADD_FAILURE() << "no error";
  } catch (const qx::net::UploadError& error) {
    EXPECT_STREQ(error.what(), "Unable to create WebBrowser object: -2147221164");
  }
  unsetenv("QXNET_NAVIGATE");
}

}  // namespace

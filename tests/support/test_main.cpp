// Entry point of every test program. Before any test runs, the process gets a
// private root folder and points the registry (the user's and the machine's
// database), the internet cache, the temporary folder and the home folder
// into it, so tests never touch the user's real state and never see each
// other's.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/support/com_test.h"

namespace {

class HermeticEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    char pattern[] = "/tmp/qxnet-test-XXXXXX";
    const char* made = mkdtemp(pattern);
    ASSERT_NE(made, nullptr);
    root_ = made;
    qxtest::SetTestRoot(root_);
    for (const char* folder : {"/home", "/tmp", "/cache", "/config"}) {
      std::filesystem::create_directories(root_ + folder);
    }
    setenv("HOME", (root_ + "/home").c_str(), 1);
    setenv("TMPDIR", (root_ + "/tmp/").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (root_ + "/config").c_str(), 1);
    setenv("XDG_CACHE_HOME", (root_ + "/cache").c_str(), 1);
    setenv("QXNET_REGISTRY", (root_ + "/registry.db").c_str(), 1);
    setenv("QXNET_SYSTEM_REGISTRY", (root_ + "/system-registry.db").c_str(), 1);
    setenv("QXNET_CACHE_DIR", (root_ + "/cache/inetcache").c_str(), 1);
    setenv("NETRC", (root_ + "/home/.netrc").c_str(), 1);
    // Tests talk only to servers they start on loopback, so no proxy applies;
    // trust, speed and diagnostics settings come from the test, not the machine.
    for (const char* name : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "ALL_PROXY",
                             "all_proxy", "QXNET_DIAGNOSTICS", "CURL_CA_BUNDLE", "SSL_CERT_FILE",
                             "SSL_CERT_DIR", "QXNET_CA_BUNDLE", "QXNET_LOW_SPEED_LIMIT"}) {
      unsetenv(name);
    }
  }

  void TearDown() override {
    if (!root_.empty() && std::getenv("QXTEST_KEEP_ROOT") == nullptr) {
      std::error_code ignored;
      std::filesystem::remove_all(root_, ignored);
    }
  }

 private:
  std::string root_;
};

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::AddGlobalTestEnvironment(new HermeticEnvironment);
  return RUN_ALL_TESTS();
}

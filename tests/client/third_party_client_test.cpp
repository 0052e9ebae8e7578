// The shipped libraries as a separately built program uses them: the client
// links libqxcom.so only, declares what it calls by hand and creates objects
// by ProgID and by class identifier through the registry.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tests/support/com_test.h"

namespace {

class ThirdPartyClient : public qxtest::ComTest {};

TEST_F(ThirdPartyClient, CreatesObjectsByProgIdAndClassId) {
  for (const char* name : {"QXNet.StringCollection", "{F25AADDB-6E9B-4F1A-965D-B49F03D8D60D}"}) {
    std::string command = std::string(QXTEST_MODULE_CLIENT) + " '" + name + "'";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char line[256] = {};
    std::string output;
    while (fgets(line, sizeof line, pipe)) output += line;
    int status = pclose(pipe);
    EXPECT_EQ(status, 0) << output;
    EXPECT_EQ(output, "count=2 item1=second\n");
  }
}

}  // namespace

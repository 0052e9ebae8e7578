// call and describe: late-bound use of QXNet.UpdateItem through IDispatch.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>

#include "tests/cli/cli_runner.h"
#include "tests/cli/registered_module.h"

namespace clitest {
namespace {

using CliCall = RegisteredModuleTest;
using CliDescribe = RegisteredModuleTest;

TEST_F(CliCall, PropertyPutsThenGetOnOneObject) {
  const RunResult text = RunQxnet({"call", "QXNet.UpdateItem", "title=Hello, world", "title"});
  ASSERT_EQ(text.exit_code, 0) << text.err;
  EXPECT_EQ(text.out, "Hello, world\n");

  // Booleans and dates are converted to the declared types; the short class
  // name works as well.
  const nlohmann::json document = RunQxnetJson(
      {"call", "UpdateItem", "required=true", "pubDate=2024-06-03T09:30:05", "required"});
  EXPECT_EQ(document["object"], "QXNet.UpdateItem");
  EXPECT_EQ(document["result"], true);
  EXPECT_EQ(document["set"]["pubDate"], "2024-06-03T09:30:05");

  const RunResult date = RunQxnet({"call", "UpdateItem", "pubDate=2024-06-03 09:30:05", "pubDate"});
  ASSERT_EQ(date.exit_code, 0) << date.err;
  EXPECT_EQ(date.out, "2024-06-03 09:30:05\n");

  const RunResult fragment =
      RunQxnet({"call", "UpdateItem", "guid=abc-1", "link=http://x/?a=b", "MarshallObject"});
  ASSERT_EQ(fragment.exit_code, 0) << fragment.err;
  EXPECT_NE(fragment.out.find("<guid>abc-1</guid>"), std::string::npos) << fragment.out;
  EXPECT_NE(fragment.out.find("<link>http://x/?a=b</link>"), std::string::npos) << fragment.out;

  // A method's argument.
  const RunResult read =
      RunQxnet({"call", "UpdateItem", "UnMarshallObject", "<title>From text</title>"});
  EXPECT_EQ(read.exit_code, 0) << read.err;
}

TEST_F(CliCall, JsonDatesAreIsoWithTheOffsetInForceThen) {
  // A zone given by rule, so the test needs no time-zone database: summer
  // time from the second Sunday of March to the first Sunday of November.
  const EnvOverrides eastern = {{"TZ", "EST5EDT,M3.2.0,M11.1.0"}};
  const std::pair<const char*, const char*> cases[] = {
      {"2024-06-03 09:30:05", "2024-06-03T09:30:05-04:00"},
      {"2024-01-15 23:00:00", "2024-01-15T23:00:00-05:00"},
  };
  for (const auto& [local, iso] : cases) {
    EXPECT_EQ(RunQxnetJson({"call", "UpdateItem", std::string("pubDate=") + local, "pubDate"},
                           eastern)["result"],
              iso);
  }
  const RunResult utc =
      RunQxnet({"--json", "call", "UpdateItem", "pubDate=2024-06-03", "pubDate"}, {{"TZ", "UTC0"}});
  EXPECT_EQ(utc.Json()["result"], "2024-06-03T00:00:00+00:00");
}

TEST_F(CliCall, FailuresAndMisuse) {
  const struct {
    std::vector<std::string> args;
    int exit_code;
    const char* message;  // in standard error, or "" for usage errors
  } cases[] = {
      {{"call", "QXNet.UpdateItem", "NoSuchMember"}, 1, "NoSuchMember"},
      {{"call", "QXNet.UpdateItem", "title", "extra"}, 2, ""},    // one member too many
      {{"call", "QXNet.UpdateItem", "MarshallObject=x"}, 2, ""},  // a method is not settable
  };
  for (const auto& c : cases) {
    const RunResult result = RunQxnet(c.args);
    EXPECT_EQ(result.exit_code, c.exit_code) << c.args.back() << ": " << result.err;
    EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
  }

  const RunResult no_class = RunQxnet({"--json", "call", "QXNet.NoSuchClass", "x"});
  EXPECT_EQ(no_class.exit_code, 1);
  EXPECT_EQ(no_class.Json()["error"]["exit"], 1);
  EXPECT_NE(no_class.err.find("QXNet.NoSuchClass"), std::string::npos) << no_class.err;
}

TEST_F(CliDescribe, ListsTheMembersFromTypeInformation) {
  const RunResult text = RunQxnet({"describe", "QXNet.UpdateItem"});
  ASSERT_EQ(text.exit_code, 0) << text.err;
  EXPECT_NE(text.out.find("{1BACC645-FB55-4237-B947-0F87DC33FCD4}"), std::string::npos);
  EXPECT_NE(text.out.find("IUpdateItem"), std::string::npos);
  EXPECT_NE(text.out.find("title: BSTR"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("MarshallObject() -> BSTR"), std::string::npos) << text.out;

  const nlohmann::json document = RunQxnetJson({"describe", "UpdateItem"});
  // The object's dispatch interface is the second item interface: the first
  // one's members and the payload properties.
  EXPECT_EQ(document["interface"]["iid"], "{95194946-07B0-40B9-9B6C-DE9462DCFDEC}");
  std::map<std::string, nlohmann::json> puts;
  for (const auto& member : document["members"]) {
    if (member["kind"] == "put") puts[member["name"]] = member;
  }
  EXPECT_EQ(puts["required"]["dispid"], 11);
  EXPECT_EQ(puts["required"]["params"][0]["type"], "VARIANT_BOOL");
  EXPECT_EQ(puts["enclosureLength"]["params"][0]["type"], "int64");
}

}  // namespace
}  // namespace clitest

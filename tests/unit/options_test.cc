#include "report/options.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace vt::report {

using command::ParseExit;
namespace {

std::expected<Cli, ParseExit> parse(std::vector<std::string> args) {
  args.insert(args.begin(), "/usr/bin/vorlane-top");
  std::vector<const char*> argv;
  for (const auto& arg : args) argv.push_back(arg.c_str());
  return parse_cli(static_cast<int>(argv.size()), argv.data());
}

struct Accepted {
  std::vector<std::string> args;
  Cli expected;
};

Cli with(auto change) {
  Cli cli;
  change(cli);
  return cli;
}

TEST(Options, AcceptedCommandLines) {
  const std::vector<Accepted> cases = {
      {{}, Cli{}},
      {{"-j"}, with([](Cli& c) { c.json = true; })},
      {{"--json", "--hide-mysql", "--domains"},
       with([](Cli& c) { c.json = c.hide_mysql = c.domains = true; })},
      {{"--max", "0"}, with([](Cli& c) { c.max = 0; })},
      {{"--max", "+7"}, with([](Cli& c) { c.max = 7; })},
      {{"--max=40"}, with([](Cli& c) { c.max = 40; })},
      {{"-m5"}, with([](Cli& c) { c.max = 5; })},
      {{"--max", "18446744073709551615"}, with([](Cli& c) { c.max = 18446744073709551615u; })},
      {{"--order-by", "bogus"}, with([](Cli& c) { c.order_by = "bogus"; })},
      {{"-o", "IOPS"}, with([](Cli& c) { c.order_by = "IOPS"; })},
      {{"-u", "alice"}, with([](Cli& c) { c.username = "alice"; })},
      {{"--username", ""}, with([](Cli& c) { c.username = ""; })},
      // An empty value after "=" is a value, not a request for the next argument.
      {{"--domain=", "-j"}, with([](Cli& c) {
         c.domain = "";
         c.json = true;
       })},
      {{"-r", "bob", "-d", "example.com"}, with([](Cli& c) {
         c.for_reseller = "bob";
         c.domain = "example.com";
       })},
      // A value may look like an option.
      {{"-u", "--json=x"}, with([](Cli& c) { c.username = "--json=x"; })},
      {{"-ju", "x"}, with([](Cli& c) {
         c.json = true;
         c.username = "x";
       })},
      {{"-uj"}, with([](Cli& c) { c.username = "j"; })},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    auto cli = parse(c.args);
    ASSERT_TRUE(cli.has_value()) << cli.error().err;
    EXPECT_EQ(cli->json, c.expected.json);
    EXPECT_EQ(cli->hide_mysql, c.expected.hide_mysql);
    EXPECT_EQ(cli->username, c.expected.username);
    EXPECT_EQ(cli->for_reseller, c.expected.for_reseller);
    EXPECT_EQ(cli->domain, c.expected.domain);
    EXPECT_EQ(cli->max, c.expected.max);
    EXPECT_EQ(cli->order_by, c.expected.order_by);
    EXPECT_EQ(cli->domains, c.expected.domains);
  }
}

struct Refused {
  std::vector<std::string> args;
  std::string message;  // the first line of standard error
};

TEST(Options, UsageErrors) {
  const std::vector<Refused> cases = {
      {{"--bogus"}, "The following argument was not expected: --bogus"},
      {{"stray"}, "The following argument was not expected: stray"},
      {{"-u"}, "--username: 1 required USERNAME missing"},
      {{"--max"}, "--max: 1 required MAX missing"},
      {{"--max", "-1"}, "--max: invalid value '-1': invalid digit found in string"},
      {{"--max", "1.5"}, "--max: invalid value '1.5': invalid digit found in string"},
      {{"--max", "0x10"}, "--max: invalid value '0x10': invalid digit found in string"},
      {{"--max", " 7"}, "--max: invalid value ' 7': invalid digit found in string"},
      {{"--max", ""}, "--max: invalid value '': cannot parse integer from empty string"},
      {{"--max", "+"}, "--max: invalid value '+': cannot parse integer from empty string"},
      {{"--max", "18446744073709551616"},
       "--max: invalid value '18446744073709551616': number too large to fit in target type"},
      {{"-u", "alice", "-r", "bob"}, "--username excludes --for-reseller"},
      {{"-r", "bob", "-u", "alice"}, "--username excludes --for-reseller"},
      {{"--json", "--json"}, "--json: the argument cannot be used multiple times"},
      {{"-jj"}, "--json: the argument cannot be used multiple times"},
      {{"--domains", "--domains"}, "--domains: the argument cannot be used multiple times"},
      {{"-m", "1", "--max", "2"}, "--max: the argument cannot be used multiple times"},
      {{"-o", "io", "-o", "ep"}, "--order-by: the argument cannot be used multiple times"},
      {{"--json=false"}, "--json: the flag takes no value"},
      {{"--hide-mysql="}, "--hide-mysql: the flag takes no value"},
      {{"-u", "\xff"},
       "--username: value is not valid UTF-8: invalid utf-8 sequence of 1 bytes from index 0"},
      {{"-d", "a\xe2\x82"},
       "--domain: value is not valid UTF-8: incomplete utf-8 byte sequence from index 1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    auto cli = parse(c.args);
    ASSERT_FALSE(cli.has_value());
    EXPECT_EQ(cli.error().status, 2);
    EXPECT_EQ(cli.error().out, "");
    EXPECT_EQ(cli.error().err, c.message +
                                   "\nUsage: vorlane-top [OPTIONS]\n"
                                   "Run with --help for more information.\n");
  }
}

// Each argument is handled once. A generous bound: handling that grows with
// the square of the count takes tens of seconds here.
TEST(Options, LongArgumentListsEndAsUsual) {
  const auto start = std::chrono::steady_clock::now();
  const auto cli = parse(std::vector<std::string>(100000, "--username="));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  ASSERT_FALSE(cli.has_value());
  EXPECT_TRUE(cli.error().err.starts_with("--username: the argument cannot be used multiple times"))
      << cli.error().err;
}

TEST(Options, VersionAndHelp) {
  for (const char* flag : {"-V", "--version"}) {
    auto version = parse({flag});
    ASSERT_FALSE(version.has_value());
    EXPECT_EQ(version.error().status, 0);
    EXPECT_EQ(version.error().out, "vorlane-top 3.0.0\n");
    EXPECT_EQ(version.error().err, "");
  }
  auto help = parse({"--help"});
  ASSERT_FALSE(help.has_value());
  EXPECT_EQ(help.error().status, 0);
  const std::string& text = help.error().out;
  EXPECT_TRUE(text.starts_with("Show current KOB resource usage\nUsage: vorlane-top [OPTIONS]\n"));
  // The options in their order, then help and version.
  const std::vector<std::string> in_order = {
      "-j,--json                   Return data in JSON format (required)\n",
      "--hide-mysql                Don't show MySQL related info\n",
      "-u,--username USERNAME      Filter: show users matching username pattern\n",
      "-r,--for-reseller FOR_RESELLER",
      "Get information only about specified reseller and his users\n",
      "-d,--domain DOMAIN          Filter: show users with domain matching pattern\n",
      "-m,--max MAX                Show up to N records (default top 25) [default: 25]\n",
      "-o,--order-by ORDER_BY      Sort order: cpu, mysql_cpu, io, mysql_io, iops, ep, nproc, "
      "pmem [default: cpu]\n",
      "--domains                   Include per-domain usage for isolated accounts (TRQ-6819)\n",
      "-h,--help",
      "-V,--version"};
  std::size_t at = 0;
  for (const auto& piece : in_order) {
    const std::size_t found = text.find(piece, at);
    ASSERT_NE(found, std::string::npos) << piece;
    at = found + piece.size();
  }
  auto short_help = parse({"-h"});
  ASSERT_FALSE(short_help.has_value());
  EXPECT_EQ(short_help.error().out, text);
}

}  // namespace
}  // namespace vt::report

// The frame of a run: command line, the --json check, loading the snapshot,
// the printed report and the fatal-error text.
#include <gtest/gtest.h>

#include <ctime>
#include <nlohmann/json.hpp>

#include "tests/e2e/harness.h"

namespace vt::e2e {
namespace {

using nlohmann::json;

const char* kFullRecord = R"({
  "timestamp": 1700000000.5,
  "users": [
    {"id": 1001, "username": "alice", "domain": "alice.example", "reseller": "res1",
     "usage": {"cpu": {"all": 12.5, "mysql": 2}, "io": {"all": 1024, "mysql": null},
               "iops": 3, "ep": 1, "mem": 1048576, "pno": 4},
     "limit": {"cpu": {"all": 100}, "io": {"all": 2048, "mysql": "-"},
               "iops": 1024, "ep": 20, "mem": 1073741824, "pno": 100},
     "restricted": true, "restriction": {"time": 1699999999, "reason": "cpu"},
     "domains": [{"id": 7, "docroot": "/home/alice/www",
                  "usage": {"cpu": {"all": 1}, "io": {"all": 2}, "iops": 3, "ep": 4, "mem": 5, "pno": 6},
                  "limit": {"cpu": {"all": 1}, "io": {"all": 2}, "iops": 3, "ep": 4, "mem": 5, "pno": 6}}],
     "future_key": [1, {"x": null}]}
  ],
  "resellers": [{"id": 5}, {"id": 5.0}, "text"]
})";

TEST(Run, HelpAndVersionNeedNoJson) {
  Fixture fixture;
  for (const char* flag : {"-V", "--version"}) {
    const RunResult r = fixture.run({flag});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "vorlane-top 3.0.0\n");
    EXPECT_EQ(r.err, "");
  }
  for (const char* flag : {"-h", "--help"}) {
    const RunResult r = fixture.run({flag});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(
        r.out.starts_with("Show current KOB resource usage\nUsage: vorlane-top [OPTIONS]\n"))
        << r.out;
    EXPECT_EQ(r.err, "");
  }
}

TEST(Run, WithoutJsonFlag) {
  Fixture fixture;
  fixture.write(kSnapshotPath, kFullRecord);
  for (const auto& args : std::vector<std::vector<std::string>>{{}, {"--max", "3", "--domains"}}) {
    const RunResult r = fixture.run(args);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "Error: --json flag is required\n");
  }
}

TEST(Run, UsageErrorsComeBeforeTheJsonCheck) {
  Fixture fixture;
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"--bogus"}, "The following argument was not expected: --bogus\n"},
      {{"stray"}, "The following argument was not expected: stray\n"},
      {{"--json", "--max", "-1"}, "--max: invalid value '-1': invalid digit found in string\n"},
      {{"--json", "-u", "a", "-r", "b"}, "--username excludes --for-reseller\n"},
      {{"--json", "--json"}, "--json: the argument cannot be used multiple times\n"},
      {{"-jj"}, "--json: the argument cannot be used multiple times\n"},
      {{"--json", "-u"}, "--username: 1 required USERNAME missing\n"},
      {{"--json", "-d", "\xc3"}, "--domain: value is not valid UTF-8: "},
  };
  for (const auto& [args, first_line] : cases) {
    SCOPED_TRACE(testing::PrintToString(args));
    const RunResult r = fixture.run(args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(r.err.starts_with(first_line)) << r.err;
    EXPECT_NE(r.err.find("Usage: vorlane-top [OPTIONS]\n"), std::string::npos) << r.err;
  }
}

TEST(Run, SnapshotThatCannotBeReadGivesAnEmptyReport) {
  struct Case {
    std::string name;
    void (*lay)(Fixture&);
    RunOptions options;
  };
  const std::vector<Case> cases = {
      {"missing", [](Fixture& f) { f.mkdir("/var/kob"); }, {}},
      {"no /var/kob", [](Fixture&) {}, {}},
      {"a directory", [](Fixture& f) { f.mkdir(kSnapshotPath); }, {}},
      {"no permission", [](Fixture& f) { f.write(kSnapshotPath, kFullRecord, 0600); }, {"nobody"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Fixture fixture;
    c.lay(fixture);
    const double before = static_cast<double>(std::time(nullptr));
    const RunResult r = fixture.run({"--json"}, c.options);
    const double after = static_cast<double>(std::time(nullptr));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const json report = json::parse(r.out);
    EXPECT_EQ(report["users"], json::array());
    EXPECT_EQ(report["resellers"], json::array());
    EXPECT_EQ(report["result"], "success");
    ASSERT_TRUE(report["timestamp"].is_number_float());
    const double stamp = report["timestamp"].get<double>();
    EXPECT_GE(stamp, before);
    EXPECT_LE(stamp, after);
    EXPECT_EQ(stamp, static_cast<double>(static_cast<long long>(stamp)));
  }
}

TEST(Run, UndecodableSnapshotIsFatal) {
  const std::string prefix = "Error: Failed to parse /var/kob/vorlane_top.json\n\nCaused by:\n    ";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", "line 1 column"},
      {"{\"users\": [}", "line 1 column"},
      {"{}\n{}", "trailing characters at line 2 column"},
      {"{\"users\": []}\n\n\xff", "line 3 column"},
      {std::string("{}\0", 3), "line 1 column"},
      {R"({"users": [{"id": 1, "usage": {}, "limit": {}}]})", "missing field"},
      {R"({"timestamp": 1, "timestamp": 2})", "duplicate field"},
      {R"({"users": [{"id": -1}]})", "line 1 column"},
      {"[]", ""},
  };
  for (const auto& [text, in_cause] : cases) {
    SCOPED_TRACE(text);
    Fixture fixture;
    fixture.write(kSnapshotPath, text);
    const RunResult r = fixture.run({"--json"});
    if (text == "[]") {  // the array form of an all-default record is fine
      EXPECT_EQ(r.status, 0) << r.err;
      continue;
    }
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    ASSERT_TRUE(r.err.starts_with(prefix)) << r.err;
    const std::string cause = r.err.substr(prefix.size());
    EXPECT_NE(cause.find(in_cause), std::string::npos) << cause;
    // One cause, on one line, and the text ends there.
    EXPECT_EQ(cause.find('\n'), cause.size() - 1) << cause;
  }
}

TEST(Run, ReportOfTheSnapshot) {
  Fixture fixture;
  fixture.write(kSnapshotPath, kFullRecord);
  const RunResult r = fixture.run({"--json"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  const json report = json::parse(r.out);
  EXPECT_EQ(report["timestamp"], 1700000000.5);
  EXPECT_EQ(report["result"], "success");
  ASSERT_EQ(report["users"].size(), 1u);
  const json& user = report["users"][0];
  EXPECT_EQ(user["id"], 1001);
  EXPECT_EQ(user["username"], "alice");
  EXPECT_EQ(user["usage"]["cpu"], json({{"all", 12.5}, {"mysql", 2}}));
  EXPECT_EQ(user["usage"]["io"], json({{"all", 1024.0}}));  // a null "mysql" is left out
  EXPECT_EQ(user["limit"]["cpu"], json({{"all", 100.0}, {"mysql", 0.0}}));
  EXPECT_EQ(user["limit"]["io"]["mysql"], "-");
  EXPECT_EQ(user["restricted"], true);
  EXPECT_EQ(user["restriction"], json({{"reason", "cpu"}, {"time", 1699999999}}));
  EXPECT_FALSE(user.contains("domains"));  // only with --domains
  EXPECT_FALSE(user.contains("future_key"));

  const RunResult with_domains = fixture.run({"--json", "--domains"});
  ASSERT_EQ(with_domains.status, 0) << with_domains.err;
  const json domains = json::parse(with_domains.out)["users"][0]["domains"];
  ASSERT_EQ(domains.size(), 1u);
  EXPECT_EQ(domains[0]["docroot"], "/home/alice/www");
  EXPECT_FALSE(domains[0].contains("name"));
}

TEST(Run, ExactLayout) {
  Fixture fixture;
  fixture.write(kSnapshotPath, R"({"timestamp": 100000, "users": [[1002, "bob", "", "",
      [[0.1, 1e16], [1e-7, "x"], 0, 1, 2.5, 3],
      [[1], [2], 3, 4, 5, 6], false, null]]})");
  const RunResult r = fixture.run({"--json"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, R"({
  "mySqlTsl": "disabled",
  "mySqlTslMode": "none",
  "resellers": [],
  "result": "success",
  "timestamp": 100000.0,
  "users": [
    {
      "domain": "N/A",
      "id": 1002,
      "limit": {
        "cpu": {
          "all": 1.0,
          "mysql": 0.0
        },
        "ep": 4.0,
        "io": {
          "all": 2.0,
          "mysql": 0.0
        },
        "iops": 3.0,
        "mem": 5.0,
        "pno": 6.0
      },
      "reseller": "N/A",
      "restricted": false,
      "usage": {
        "cpu": {
          "all": 0.1,
          "mysql": 1e16
        },
        "ep": 1.0,
        "io": {
          "all": 1e-7,
          "mysql": "x"
        },
        "iops": 0.0,
        "mem": 2.5,
        "pno": 3.0
      },
      "username": "bob"
    }
  ]
}
)");
}

TEST(Run, ClosedPipeEndsQuietly) {
  Fixture fixture;
  std::string big = R"({"users": [)";
  for (int i = 0; i < 3000; ++i) {
    if (i > 0) big += ",";
    big += R"({"id": )" + std::to_string(1000 + i) +
           R"(, "usage": [[1], [1], 1, 1, 1, 1], "limit": [[1], [1], 1, 1, 1, 1]})";
  }
  big += "]}";
  fixture.write(kSnapshotPath, big);
  // The caller's own SIGPIPE disposition must not matter.
  const RunResult r = fixture.shell("trap '' PIPE; $VT --json --max 3000 | head -c 1");
  EXPECT_EQ(r.out, "{");
  EXPECT_EQ(r.err, "");
}

}  // namespace
}  // namespace vt::e2e

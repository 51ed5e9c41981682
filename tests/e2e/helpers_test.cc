// The helper programs and tools at their fixed paths: the KOB check, the
// control panel's data, the MySQL tessel service, and every failure of
// theirs absorbed.
#include <gtest/gtest.h>

#include <chrono>
#include <nlohmann/json.hpp>

#include "tests/e2e/harness.h"

namespace vt::e2e {
namespace {

using nlohmann::json;
using Names = std::vector<std::string>;

TEST(Helpers, KobNoticeComesBeforeEverything) {
  struct Case {
    std::string name;
    std::string answer;     // the helper's answer, if it answers
    std::string behaviour;  // how it misbehaves, if it does
  };
  const std::vector<Case> cases = {
      {"false", "false\n", ""},
      {"capital", "True\n", ""},
      {"yes", "yes", ""},
      {"empty", "", ""},
      {"fails", "true\n", "fail"},
      {"exit 3", "true\n", "exit 3"},
      {"not UTF-8", "", "not-utf8"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Fixture fixture;
    fixture.write(data("panel-feature-KOB"), c.answer);
    if (!c.behaviour.empty()) fixture.write(behaviour("plexa-panel-feature"), c.behaviour);
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"--json"}, {"--help"}, {"--version"}, {}, {"--bogus"}}) {
      const RunResult r = fixture.run(args);
      EXPECT_EQ(r.status, 0);
      EXPECT_EQ(r.out, kNotice);
      EXPECT_EQ(r.err, "");
    }
  }
  Fixture missing;
  missing.remove(kPlexaHelper);
  const RunResult r = missing.run({"--json"});
  EXPECT_EQ(r.out, kNotice);
  EXPECT_EQ(r.status, 0);

  Fixture spaced;
  spaced.write(data("panel-feature-KOB"), "  true \n");
  EXPECT_EQ(spaced.run({"--version"}).out, "vorlane-top 3.0.0\n");
  EXPECT_EQ(spaced.calls(), Names{"plexa panel-feature KOB"});
}

// Three accounts: alice, 1002 without a username (bob by login name), carol.
const char* const kSnapshot = R"({"timestamp": 1, "users": [
    {"id": 1001, "username": "alice", "usage": {"cpu": {"all": 10, "mysql": 1}, "io": {"all": 500},
     "iops": 0, "ep": 0, "mem": 0, "pno": 0}, "limit": {"cpu": {"all": 100, "mysql": 5},
     "io": {"all": 1000}, "iops": 0, "ep": 0, "mem": 0, "pno": 0},
     "restricted": true, "restriction": {"time": 5, "reason": "old"}},
    {"id": 1002, "usage": {"cpu": {"all": 20}, "io": {"all": 50}, "iops": 0, "ep": 0, "mem": 0,
     "pno": 0}, "limit": {"cpu": {"all": 100}, "io": {"all": 1000}, "iops": 0, "ep": 0, "mem": 0,
     "pno": 0}},
    {"id": 1003, "username": "carol", "domain": "own.example", "usage": {"cpu": {"all": 5},
     "io": {"all": 5}, "iops": 0, "ep": 0, "mem": 0, "pno": 0}, "limit": {"cpu": {"all": 100},
     "io": {"all": 1000}, "iops": 0, "ep": 0, "mem": 0, "pno": 0}}]})";

// A server with the MySQL tessel service and control-panel data.
class Tessel : public testing::Test {
 protected:
  void SetUp() override {
    f_.write("/var/kob/vorlane_top.json", kSnapshot);
    f_.install_fake(kTslHelper);
    f_.install_fake(kTslctl);
    f_.install_fake(kTsltop);
    f_.write(data("tessel-mode"), "\"all\"\n");
    f_.write("/var/kob/vorlane_tsltop.json",
             R"({"dbtsl_data": {"alice": {"cpu": 25, "io": 100}, "bob": {"cpu": 1, "io": 2}}})");
    f_.write(data("tsltop.txt"),
             "USER CPU READ WRITE RESTRICTED\n"
             "bob 0/30 1K/0 1K io_write/1234\n"
             "carol 99 1M 0 -\n");
    f_.write(data("limits.json"),
             R"({"alice": {"cpu": 80, "io": 2}, "bob": {"cpu": 50, "io": null},
                 "carol": {"cpu": 1, "io": 1, "error": "unknown user"}})");
    f_.write(data("user-info-sys.json"), R"({"users": [
      {"uid": 1001, "username": "alice", "email": "a@x", "domain": "alice.example", "locale": "en",
       "reseller": "", "display_name": "Alice"},
      {"uid": 1002, "username": "bob", "email": "b@x", "domain": "", "locale": "en",
       "reseller": "res1", "display_name": "Bob"},
      {"uid": 1003, "username": "carol", "email": "c@x", "domain": "panel.example", "locale": "en",
       "reseller": "res1", "display_name": "Carol"}], "unresolved": []})");
    f_.write(data("admins.json"), R"(["carol"])");
    f_.write(data("reseller-users/res1.json"), R"(["bob", "carol"])");
  }

  json report(const std::vector<std::string>& args = {"--json"}, const RunOptions& options = {}) {
    const RunResult r = f_.run(args, options);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    return json::parse(r.out);
  }

  Fixture f_;
};

TEST_F(Tessel, ModeAllMergesFiguresAndRestrictions) {
  const json r = report();
  EXPECT_EQ(r["mySqlTsl"], "enabled");
  EXPECT_EQ(r["mySqlTslMode"], "all");
  EXPECT_FALSE(r.contains("warning"));
  EXPECT_EQ(usernames(r), (Names{"bob", "alice"}));  // carol is an admin
  const json& bob = r["users"][0];
  EXPECT_EQ(bob["domain"], "N/A");  // the panel's domain is empty
  EXPECT_EQ(bob["reseller"], "res1");
  // The tool's figures beat the file's: cpu 30 (0/30), io 1K + 1K.
  EXPECT_EQ(bob["usage"]["cpu"], json({{"all", 20.0}, {"mysql", 20.0}}));  // the smaller
  EXPECT_EQ(bob["usage"]["io"], json({{"all", 50.0}, {"mysql", 50.0}}));
  EXPECT_EQ(bob["limit"]["cpu"]["mysql"], "-");
  EXPECT_EQ(bob["restricted"], true);
  EXPECT_EQ(bob["restriction"], json({{"reason", "Violated the write limit"}, {"time", 1234}}));
  const json& alice = r["users"][1];
  EXPECT_EQ(alice["domain"], "alice.example");
  EXPECT_EQ(alice["reseller"], "N/A");
  EXPECT_EQ(alice["usage"]["cpu"]["mysql"], 10.0);
  EXPECT_EQ(alice["usage"]["io"]["mysql"], 100.0);
  EXPECT_EQ(alice["restricted"], false);
  EXPECT_FALSE(alice.contains("restriction"));

  EXPECT_EQ(f_.calls(), (Names{"plexa panel-feature KOB", "tslctl list", "tsl tessel-mode",
                               "plexa user-info-sys 1001 1002 1003", "plexa admins", "tsltop -c",
                               "tsl limits alice bob carol"}));
}

// The helpers hear the run's questions in its order, whoever asks and
// whatever the snapshot: the reseller's list comes after the MySQL figures,
// and an undecodable snapshot ends the run before the panel is asked.
TEST_F(Tessel, HelpersAreAskedInTheRunsOrder) {
  const std::string kob = "plexa panel-feature KOB", tslctl = "tslctl list",
                    mode = "tsl tessel-mode", admins = "plexa admins", tsltop = "tsltop -c",
                    list = "plexa reseller-users res1", ids = "plexa user-info-sys 1001 1002 1003",
                    limits = "tsl limits alice bob carol";
  struct Case {
    std::string caller;  // "" for root
    std::vector<std::string> args;
    Names sound, missing;  // the calls after the tessel mode
  };
  const std::vector<Case> cases = {
      {"", {"--json"}, {ids, admins, tsltop, limits}, {admins, tsltop}},
      {"", {"--json", "-r", "res1"}, {ids, admins, tsltop, list, limits}, {admins, tsltop, list}},
      {"res1", {"--json", "-r", "res1"}, {ids, tsltop, list, limits}, {tsltop, list}},
      {"alice", {"--json"}, {ids, tsltop, limits}, {tsltop}},
      {"carol", {"--json"}, {ids, tsltop, limits}, {tsltop}},  // an admin
  };
  const std::string snapshot = "/var/kob/vorlane_top.json";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.caller + " " + c.args.back());
    const RunOptions options = c.caller.empty() ? RunOptions{} : as(c.caller);
    Names start = {kob};
    if (c.caller.empty()) start.push_back(tslctl);  // others don't run the control tool
    start.push_back(mode);
    for (const std::string state : {"sound", "undecodable", "missing"}) {
      SCOPED_TRACE(state);
      if (state == "sound") f_.write(snapshot, kSnapshot);
      if (state == "undecodable") f_.write(snapshot, "{\"users\": [");
      if (state == "missing") f_.remove(snapshot);
      f_.clear_calls();
      const RunResult r = f_.run(c.args, options);
      EXPECT_EQ(r.status, state == "undecodable" ? 1 : 0) << r.err;
      Names expected = start;
      const Names& rest = state == "sound" ? c.sound : state == "missing" ? c.missing : Names{};
      expected.insert(expected.end(), rest.begin(), rest.end());
      EXPECT_EQ(f_.calls(), expected);
    }
  }
}

TEST_F(Tessel, OtherModesTakeTheLimits) {
  f_.write(data("tessel-mode"), "none\n");
  const json r = report({"--json", "-o", "mysql_cpu"});
  EXPECT_EQ(r["mySqlTslMode"], "none");
  ASSERT_EQ(usernames(r), (Names{"bob", "alice"}));
  const json& bob = r["users"][0];
  EXPECT_EQ(bob["usage"]["cpu"]["mysql"], 30.0);
  EXPECT_EQ(bob["usage"]["io"]["mysql"], 2048.0);
  // bob has no username in the snapshot: he is asked for by his login name.
  EXPECT_EQ(bob["limit"]["cpu"]["mysql"], 50.0);
  EXPECT_EQ(bob["limit"]["io"]["mysql"], 0.0);  // no io limit
  const json& alice = r["users"][1];
  EXPECT_EQ(alice["limit"]["cpu"], json({{"all", 100.0}, {"mysql", 80.0}}));
  EXPECT_EQ(alice["limit"]["io"], json({{"all", 1000.0}, {"mysql", 2048.0}}));
}

TEST_F(Tessel, HideMysqlRunsNeitherTheToolNorTheLimits) {
  const json r = report({"--json", "--hide-mysql", "-o", "MYSQL_CPU"});
  // The saved figures still order the report: alice 25, bob 1 (the tool's 30
  // is never read).
  EXPECT_EQ(usernames(r), (Names{"alice", "bob"}));
  EXPECT_EQ(r.dump().find("mysql\""), std::string::npos);
  for (const auto& user : r["users"]) EXPECT_EQ(user["restricted"], false);
  for (const auto& call : f_.calls()) {
    EXPECT_FALSE(call.starts_with("tsltop") || call.starts_with("tsl limits")) << call;
  }
}

TEST_F(Tessel, ServiceStatusWarnings) {
  struct Case {
    std::string name;
    std::string behaviour;
    json warning, context;
  };
  const std::vector<Case> cases = {
      {"socket",
       "socket",
       "%(util)s is disabled in the system. Please, run \"%(command)s\" to start the service",
       {{"command", "service db_tessel restart"}, {"util", "MySQL tessel"}}},
      {"stderr", "stderr", "tslctl error: %(output)s", {{"output", "warning: slow answer"}}},
      {"silent failure", "exit 2", "tslctl error: %(output)s", {{"output", ""}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    f_.write(behaviour("tslctl"), c.behaviour);
    f_.clear_calls();
    const json r = report();
    EXPECT_EQ(r["mySqlTsl"], "error");
    EXPECT_EQ(r["warning"], c.warning);
    EXPECT_EQ(r["context"], c.context);
    // No merge: the snapshot's MySQL values stay.
    EXPECT_EQ(r["users"][1]["usage"]["cpu"]["mysql"], 1.0);
    EXPECT_EQ(r["users"][1]["restriction"]["reason"], "old");
    for (const auto& call : f_.calls()) EXPECT_FALSE(call.starts_with("tsltop")) << call;
  }
  f_.write(kTslctl, "#!/bin/sh\n", 0644);
  const json r = report();
  EXPECT_EQ(r["mySqlTsl"], "error");
  EXPECT_EQ(r["warning"], "Permission denied (os error 13)");
  EXPECT_FALSE(r.contains("context"));

  f_.remove(kTslctl);
  const json disabled = report();
  EXPECT_EQ(disabled["mySqlTsl"], "disabled");
  EXPECT_FALSE(disabled.contains("warning"));
}

TEST_F(Tessel, NonRootCallersDoNotRunTheControlTool) {
  const json r = report({"--json"}, as("alice"));
  EXPECT_EQ(r["mySqlTsl"], "enabled");
  EXPECT_EQ(usernames(r), Names{"alice"});
  for (const auto& call : f_.calls()) EXPECT_FALSE(call.starts_with("tslctl")) << call;
}

TEST_F(Tessel, FailingSourcesAreAbsorbed) {
  struct Case {
    std::string name;
    std::string file, behaviour;
    Names users;
  };
  const std::vector<Case> cases = {
      {"panel lookup fails", "plexa-user-info-sys", "fail", {"bob", "alice"}},
      {"admins broken", "plexa-admins", "broken", {"bob", "alice", "carol"}},
      {"admins killed", "plexa-admins", "signal", {"bob", "alice", "carol"}},
      {"tool fails", "tsltop", "fail", {"bob", "alice"}},
      {"limits broken", "tsl-limits", "broken", {"bob", "alice"}},
      {"mode fails", "tsl-tessel-mode", "exit 1", {"bob", "alice"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Fixture& f = f_;
    f.remove(behaviour("plexa-user-info-sys"));
    for (const char* file : {"plexa-admins", "tsltop", "tsl-limits", "tsl-tessel-mode"}) {
      f.remove(behaviour(file));
    }
    f.write(behaviour(c.file), c.behaviour);
    const json r = report();
    EXPECT_EQ(usernames(r), c.users);
  }
  // What each failure leaves out.
  f_.write(behaviour("plexa-user-info-sys"), "fail");
  EXPECT_EQ(report()["users"][1]["domain"], "N/A");
  f_.remove(behaviour("plexa-user-info-sys"));
  f_.write(behaviour("tsl-tessel-mode"), "exit 1");
  EXPECT_EQ(report()["mySqlTslMode"], "none");
  f_.remove(behaviour("tsl-tessel-mode"));
  f_.write(behaviour("tsltop"), "fail");
  EXPECT_EQ(report()["users"][0]["usage"]["cpu"]["mysql"], 1.0);  // bob: the file's figure
}

TEST_F(Tessel, ResellerScopeComesFromThePanel) {
  const json r = report({"--json", "--for-reseller", "res1"});
  EXPECT_EQ(usernames(r), Names{"bob"});  // carol is an admin, res1 has no record
  const json own = report({"--json", "-r", "res1"}, as("res1"));
  EXPECT_EQ(usernames(own), (Names{"bob", "carol"}));  // admins are hidden from root only
  EXPECT_EQ(own["resellers"], json::array());
}

TEST(SlowHelperTimeLimit, HangingPanelHelperIsKilledAtThirtySeconds) {
  Fixture fixture;
  fixture.write(behaviour("plexa-panel-feature"), "hang");
  const auto start = std::chrono::steady_clock::now();
  const RunResult r = fixture.run({"--json"});
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(r.out, kNotice);
  EXPECT_EQ(r.status, 0);
  EXPECT_GE(took, std::chrono::seconds(30));
  EXPECT_LT(took, std::chrono::seconds(33));
}

}  // namespace
}  // namespace vt::e2e

// Helper programs that turn against the command: answers without end,
// helpers that leave children behind, and descriptors they could inherit.
// Runs ended by a signal while a helper hangs: contract_test.cc.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tests/e2e/harness.h"

namespace vt::e2e {
namespace {

using Lines = std::vector<std::string>;

Lines lines_of(const std::string& path) {
  Lines lines;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// `text` as one word for the shell.
std::string quoted(const std::string& text) {
  std::string word = "'";
  for (const char c : text) word += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return word + "'";
}

// Shell functions for the scripts below: "gone PID" waits at most ten
// seconds for PID to end (a zombie counts as ended); "left_behind" names
// the processes a "spawn" helper recorded that have not ended.
constexpr const char* kChecks = R"(
runs() { local state; read -r _ _ state _ 2>/dev/null < "/proc/$1/stat" && [ "$state" != Z ]; }
gone() { for _ in $(seq 100); do runs "$1" || return 0; sleep 0.1; done; return 1; }
left_behind() {
  read -r helper child < /var/log/vt-calls/spawned || { echo "nothing spawned"; return; }
  for pid in "$helper" "$child"; do gone "$pid" || echo "left: $pid"; done
}
)";

// Runs `script` with bash inside the launched namespaces, where it can see
// the processes of the run after vorlane-top has ended; $1 is vorlane-top,
// $2 `arg`.
RunResult inside(const Fixture& fixture, const std::string& script, const std::string& arg = "") {
  return fixture.shell("exec ${VT% -- *} -- /bin/bash -c " + quoted(kChecks + script) +
                       " bash ${VT##* -- } " + quoted(arg));
}

TEST(HostileHelpers, EndlessAnswersAreFailedCalls) {
  Fixture fixture;
  fixture.write(behaviour("plexa-panel-feature"), "endless");
  const RunResult r = fixture.run({"--json"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, kNotice);
  EXPECT_EQ(r.err, "");

  fixture.remove(behaviour("plexa-panel-feature"));
  fixture.write("/var/kob/vorlane_top.json", R"({"timestamp": 1, "users": [{"id": 1001,
    "usage": {"cpu": {"all": 1}, "io": {"all": 1}, "iops": 0, "ep": 0, "mem": 0, "pno": 0},
    "limit": {"cpu": {"all": 100}, "io": {"all": 100}, "iops": 0, "ep": 0, "mem": 0, "pno": 0}}]})");
  fixture.write(std::string(kFakeData) + "/user-info-sys.json", R"({"users": [{"uid": 1001,
    "username": "alice", "email": "a@x", "domain": "alice.example", "locale": "en",
    "reseller": "", "display_name": "Alice"}], "unresolved": []})");
  struct Case {
    std::string behaviour;
    std::string domain;
  };
  for (const auto& c : std::vector<Case>{{"", "alice.example"}, {"endless", "N/A"}}) {
    SCOPED_TRACE(c.behaviour);
    if (c.behaviour.empty()) {
      fixture.remove(behaviour("plexa-user-info-sys"));
    } else {
      fixture.write(behaviour("plexa-user-info-sys"), c.behaviour);
    }
    const RunResult run = fixture.run({"--json"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    const auto report = nlohmann::json::parse(run.out);
    ASSERT_EQ(report["users"].size(), 1u);
    EXPECT_EQ(report["users"][0]["domain"], c.domain);
  }
}

// Waits out the panel helper's time limit of thirty seconds.
TEST(SlowHostileHelpers, HelperOverItsTimeLimitGoesWithItsChild) {
  Fixture fixture;
  fixture.write(behaviour("plexa-panel-feature"), "spawn");
  const RunResult r = inside(fixture, R"("$1" --json; echo "status $?"; left_behind)");
  EXPECT_EQ(r.out, std::string(kNotice) + "status 0\n");
  EXPECT_EQ(r.err, "");
}

TEST(HostileHelpers, HelpersGetOnlyTheStandardStreams) {
  Fixture fixture;
  fixture.write(behaviour("plexa-panel-feature"), "fds");
  const RunResult r = fixture.shell("exec 7</dev/null 8</dev/null; $VT --json");
  EXPECT_EQ(r.status, 0);
  // 3 is the directory ls reads.
  EXPECT_EQ(lines_of(fixture.host_path("/var/log/vt-calls/fds.helper")),
            (Lines{"0", "1", "2", "3"}));
  // The descriptors did reach vorlane-top.
  const Lines caller = lines_of(fixture.host_path("/var/log/vt-calls/fds.caller"));
  for (const std::string fd : {"7", "8"}) {
    EXPECT_NE(std::find(caller.begin(), caller.end(), fd), caller.end()) << fd;
  }
}

}  // namespace
}  // namespace vt::e2e

// Who sees what: each kind of caller, the refusals, the service check and
// the time-stamp file.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "tests/e2e/harness.h"

namespace vt::e2e {
namespace {

using nlohmann::json;
using Names = std::vector<std::string>;

std::string account(int id, const std::string& name, double cpu, const std::string& reseller = "") {
  return R"({"id": )" + std::to_string(id) + R"(, "username": ")" + name + R"(", "reseller": ")" +
         reseller + R"(", "usage": [[)" + std::to_string(cpu) +
         R"(], [1], 1, 1, 1, 1], "limit": [[100], [100], 1, 1, 1, 1]})";
}

// alice and bob belong to res1; mailman is a system account; the big id is a
// container id that is never hidden.
std::string snapshot() {
  return R"({"timestamp": 1700000000, "users": [)" + account(1001, "alice", 50, "res1") + "," +
         account(1002, "bob", 40, "res1") + "," + account(1003, "carol", 30) + "," +
         account(1501, "res1", 20) + "," + account(999, "mailman", 90) + "," +
         account(1000001501, "", 10) + R"(], "resellers": [{"id": 1000001501}, {"id": 1002}]})";
}

RunOptions in_user_namespace() {
  RunOptions options;
  options.userns = true;
  return options;
}

RunOptions forged(RunOptions options) {
  options.forged_proc = true;
  return options;
}

class Access : public testing::Test {
 protected:
  void SetUp() override {
    fixture_.write(kSnapshotPath, snapshot());
    // The panel's answer for res1 comes with the control-panel helper; until
    // then a reseller sees his own record.
  }
  Fixture fixture_;
};

TEST_F(Access, EachCallerSeesItsScope) {
  struct Case {
    std::string name;
    std::vector<std::string> args;
    RunOptions options;
    Names users;
    json resellers;
  };
  const json all_resellers =
      json::array({{{"id", 1000001501}, {"name", "res1"}}, {{"id", 1002}, {"name", "bob"}}});
  const std::vector<Case> cases = {
      {"root", {}, {}, {"alice", "bob", "carol", "res1", "N/A"}, all_resellers},
      {"root for res1", {"--for-reseller", "res1"}, {}, {"res1"}, json::array({all_resellers[0]})},
      {"end user", {}, as("alice"), {"alice"}, json::array()},
      {"end user for himself", {"-r", "bob"}, as("bob"), {"bob"}, json::array()},
      {"reseller", {}, as("res1"), {"res1"}, json::array()},
      {"reseller for himself", {"--for-reseller=res1"}, as("res1"), {"res1"}, json::array()},
      {"uid without an account", {}, as("4242"), {}, json::array()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> args = {"--json"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const RunResult r = fixture_.run(args, c.options);
    ASSERT_EQ(r.status, 0) << r.err << r.out;
    EXPECT_EQ(r.err, "");
    const json report = json::parse(r.out);
    EXPECT_EQ(usernames(report), c.users);
    EXPECT_EQ(report["resellers"], c.resellers);
  }
}

TEST_F(Access, Refusals) {
  const std::string outside =
      "Permission denied. Caller identity cannot be verified outside the initial user namespace.";
  const std::string reseller =
      "Permission denied. Reseller can view information only about himself. Option "
      "--for-reseller=";
  struct Case {
    std::string name;
    std::vector<std::string> args;
    RunOptions options;
    std::string result;
  };
  const std::vector<Case> cases = {
      {"root in a user namespace", {}, in_user_namespace(), outside},
      {"forged /proc", {}, forged({}), outside},
      {"end user in a forged /proc", {}, forged(as("alice")), outside},
      {"reseller for another", {"-r", "res2"}, as("res1"), reseller + "res2 is forbidden."},
      {"empty reseller", {"-r", ""}, as("res1"), reseller + " is forbidden."},
      {"no account for unknown", {"-r", "unknown"}, as("4242"), reseller + "unknown is forbidden."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
#ifdef VT_SANITIZED
    // The sanitizers' runtime needs the real /proc to start and to end; the
    // normal build runs these cases.
    if (c.options.forged_proc) continue;
#endif
    // A refused caller is refused before the service check and the touch.
    fixture_.remove("/run/kobstats.pid");
    std::vector<std::string> args = {"--json"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const RunResult r = fixture_.run(args, c.options);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "");
    const json document = json::parse(r.out);
    EXPECT_EQ(document["result"], c.result);
    EXPECT_EQ(document["context"], json::object());
    EXPECT_TRUE(document["timestamp"].is_number_float());
    EXPECT_EQ(document.size(), 3u);
    EXPECT_TRUE(r.out.starts_with("{\n  \"context\": {},\n  \"result\": ")) << r.out;
    EXPECT_FALSE(std::filesystem::exists(fixture_.host_path(kStampPath)));
  }
}

TEST_F(Access, StatisticsServiceState) {
  const std::vector<std::tuple<std::string, std::string, std::string>> cases = {
      {"missing pid file", "", "KOB Stats is stopped"},
      {"pid of no process", "999999\n", "KOB Stats is dead but subsys locked"},
      {"garbage", "kobstats\n", "KOB Stats is dead but subsys locked"},
      {"not UTF-8", "1\xff", "KOB Stats is stopped"},
  };
  for (const auto& [name, pid, result] : cases) {
    SCOPED_TRACE(name);
    if (pid.empty()) {
      fixture_.remove("/run/kobstats.pid");
    } else {
      fixture_.write("/run/kobstats.pid", pid);
    }
    const RunResult r = fixture_.run({"--json"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    const json document = json::parse(r.out);
    EXPECT_EQ(document, json({{"result", result}, {"timestamp", document["timestamp"]}}));
    EXPECT_FALSE(std::filesystem::exists(fixture_.host_path(kStampPath)));
  }
}

TEST_F(Access, TimestampFileTouchedForRootAndResellerRuns) {
  namespace fs = std::filesystem;
  struct Case {
    std::string name;
    std::vector<std::string> args;
    RunOptions options;
    bool touched;
  };
  const std::vector<Case> cases = {
      {"root", {}, {}, true},
      {"root for a reseller", {"-r", "res1"}, {}, true},
      {"reseller for himself", {"-r", "res1"}, as("res1"), true},
      {"end user", {}, as("alice"), false},
      {"reseller without the option", {}, as("res1"), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fixture_.write(kStampPath, "keep", 0666);
    const auto old = fs::file_time_type::clock::now() - std::chrono::hours(24);
    fs::last_write_time(fixture_.host_path(kStampPath), old);
    std::vector<std::string> args = {"--json"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const RunResult r = fixture_.run(args, c.options);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(fs::last_write_time(fixture_.host_path(kStampPath)) > old + std::chrono::hours(1),
              c.touched);
    EXPECT_EQ(fs::file_size(fixture_.host_path(kStampPath)), 4u);  // never truncated
  }

  // Missing, it is created (0666 less the umask); without /var/kob the run goes on.
  fixture_.remove(kStampPath);
  ASSERT_EQ(fixture_.run({"--json"}).status, 0);
  struct stat st {};
  ASSERT_EQ(::stat(fixture_.host_path(kStampPath).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
  Fixture bare;
  const RunResult r = bare.run({"--json"});
  EXPECT_EQ(r.status, 0) << r.err;
}

// Filters, order and --max are unit-tested on the assembly
// (tests/unit/assemble_test.cc); here only what comes from the files.
TEST_F(Access, HidingFollowsTheConfiguration) {
  // The system account is hidden, the container id kept.
  EXPECT_EQ(usernames(json::parse(fixture_.run({"--json"}).out)),
            (Names{"alice", "bob", "carol", "res1", "N/A"}));
  // Without hiding, the system account leads the CPU order.
  fixture_.write("/etc/sysconfig/kobstats2", "hide_kob_more_than_maxuid = off\n");
  EXPECT_EQ(usernames(json::parse(fixture_.run({"--json", "-m", "1"}).out)), Names{"mailman"});
  // A configuration that does not validate is not used at all.
  fixture_.write("/etc/sysconfig/kobstats2", "hide_kob_more_than_maxuid = off\ninterval=0\n");
  EXPECT_EQ(usernames(json::parse(fixture_.run({"--json", "-m", "1"}).out)), Names{"alice"});
}

}  // namespace
}  // namespace vt::e2e

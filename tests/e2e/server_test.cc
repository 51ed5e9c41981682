// The generated server, seen by each kind of caller, and what a run leaves
// behind on it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>

#include "tests/e2e/harness.h"

namespace vt::e2e {
namespace {

using nlohmann::json;
namespace fs = std::filesystem;

class Server : public testing::Test {
 protected:
  void SetUp() override { f_.generate({"--users", "40", "--seed", "7"}); }

  json report(const std::vector<std::string>& args, const RunOptions& options = {}) {
    const RunResult r = f_.run(args, options);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    return json::parse(r.out);
  }

  json answer(const std::string& name) {
    std::ifstream in(f_.host_path(std::string(kFakeData) + "/" + name));
    return json::parse(in);
  }

  Fixture f_;
};

TEST_F(Server, RootSeesEveryAccountButSystemAccountsAndAdmins) {
  const json r = report({"--json", "--max", "1000"});
  EXPECT_EQ(r["result"], "success");
  EXPECT_EQ(r["mySqlTsl"], "enabled");
  std::set<std::uint64_t> ids;
  double previous = 1e300;
  for (const auto& user : r["users"]) {
    ids.insert(user["id"].get<std::uint64_t>());
    EXPECT_NE(user["username"], "admin");
    const double cpu = user["usage"]["cpu"]["all"];
    EXPECT_LE(cpu, previous);  // highest first
    previous = cpu;
    EXPECT_NE(user["domain"], "");
    EXPECT_NE(user["reseller"], "");
  }
  for (std::uint64_t hidden : {0, 48, 999, 1900}) EXPECT_FALSE(ids.contains(hidden)) << hidden;
  EXPECT_TRUE(ids.contains(1000001901));  // container ids are never hidden
  EXPECT_EQ(r["users"].size(), 36u);      // 40 accounts less 3 system accounts and the admin
  EXPECT_EQ(r["resellers"][0]["name"], "res1");
  EXPECT_EQ(r["resellers"][1]["name"], "res2");
  EXPECT_EQ(report({"--json"})["users"].size(), 25u);
}

TEST_F(Server, ResellerAndEndUserViews) {
  const json customers = answer("reseller-users/res1.json");
  std::set<std::string> expected(customers.begin(), customers.end());
  expected.insert("res1");
  for (const RunOptions& options : {RunOptions{}, as("res1")}) {
    const json r = report({"--json", "--for-reseller", "res1", "--max", "1000"}, options);
    std::set<std::string> seen;
    for (const auto& user : r["users"]) seen.insert(user["username"]);
    EXPECT_EQ(seen, expected);
  }
  const json own = report({"--json"}, as("res1"));
  ASSERT_EQ(own["users"].size(), 1u);
  EXPECT_EQ(own["users"][0]["username"], "res1");
  EXPECT_EQ(own["resellers"], json::array());

  const json user = report({"--json"}, as("user0005"));
  ASSERT_EQ(user["users"].size(), 1u);
  EXPECT_EQ(user["users"][0]["username"], "user0005");
}

// Every file of the fixture with its content, mode and modification time.
std::map<std::string, std::string> state_of(const std::string& root) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    struct stat st {};
    ::lstat(entry.path().c_str(), &st);
    std::string content;
    if (entry.is_regular_file()) {
      std::ifstream in(entry.path(), std::ios::binary);
      content.assign(std::istreambuf_iterator<char>(in), {});
    }
    files[fs::relative(entry.path(), root)] = std::to_string(st.st_mode) + " " +
                                              std::to_string(st.st_mtim.tv_sec) + "." +
                                              std::to_string(st.st_mtim.tv_nsec) + " " + content;
  }
  return files;
}

TEST_F(Server, ARunChangesNothingButTheTimestampFile) {
  const auto before = state_of(f_.host_path(""));
  ASSERT_FALSE(before.empty());
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"--json"}, {"--json", "-r", "res2", "--domains"}, {"--json", "--hide-mysql"}}) {
    ASSERT_EQ(f_.run(args).status, 0);
  }
  ASSERT_EQ(f_.run({"--json"}, as("user0003")).status, 0);
  auto after = state_of(f_.host_path(""));
  EXPECT_TRUE(after.contains("var/kob/tessel.ts"));
  for (const char* trace : {"var/kob/tessel.ts", "var/log/vt-calls/calls.log"}) {
    after.erase(trace);
  }
  // The folders that hold them change their times; their modes must not.
  for (const char* folder : {"var/kob", "var/log/vt-calls"}) {
    EXPECT_EQ(before.at(folder).substr(0, before.at(folder).find(' ')),
              after.at(folder).substr(0, after.at(folder).find(' ')));
    after[folder] = before.at(folder);
  }
  EXPECT_EQ(after, before);
}

// With less room for arguments (a smaller stack limit gives less), the
// accounts are asked in several calls; the report stays the same.
TEST(LargeServer, AccountsTooManyForOneCallAreSplitAcrossCalls) {
  Fixture f;
  f.generate({"--users", "12000"});
  const auto run = [&](const std::string& limit) {
    f.clear_calls();
    const RunResult r = f.shell(limit + "$VT --json --max 20000");
    EXPECT_EQ(r.status, 0) << r.err;
    std::map<std::string, std::vector<std::string>> calls;  // "plexa user-info-sys" -> calls
    for (const std::string& call : f.calls()) {
      const auto second = call.find(' ', call.find(' ') + 1);
      calls[call.substr(0, second)].push_back(second == std::string::npos ? ""
                                                                          : call.substr(second));
    }
    return std::pair(r.out, calls);
  };
  const auto [whole, one_call] = run("");
  const auto [split, several] = run("ulimit -s 512; ");  // 128 KiB for arguments
  EXPECT_EQ(split, whole);
  // Every generated account is real: none shares a uid or falls outside the
  // login range; the report lacks only the 3 system accounts and the admin.
  const json report = json::parse(whole);
  EXPECT_EQ(report["users"].size(), 11996u);
  EXPECT_EQ(report["resellers"][0]["name"], "res1");
  for (const char* command : {"plexa user-info-sys", "tsl limits"}) {
    SCOPED_TRACE(command);
    ASSERT_EQ(one_call.at(command).size(), 1u);
    EXPECT_GE(several.at(command).size(), 2u);
    std::string joined;
    for (const std::string& args : several.at(command)) joined += args;
    EXPECT_EQ(joined, one_call.at(command)[0]);
  }
}

}  // namespace
}  // namespace vt::e2e

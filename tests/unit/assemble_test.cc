#include "report/assemble.h"

#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <utility>
#include <vector>

namespace vt::report {

using namespace vt::gather;
namespace {

using Names = std::vector<std::string>;

TopUser account(std::uint32_t id, std::string name, double cpu, std::string reseller = "") {
  TopUser user;
  user.id = id;
  user.username = std::move(name);
  user.reseller = std::move(reseller);
  user.usage.cpu.all = cpu;
  return user;
}

// alice and bob belong to res1; the big id is a container id with no name.
Sources sources() {
  Sources s;
  s.snapshot.users = {account(1001, "alice", 50, "res1"), account(1002, "bob", 40, "res1"),
                      account(1003, "carol", 30), account(1501, "res1", 20),
                      account(1000001501, "", 10)};
  return s;
}

Names usernames(const nlohmann::json& report) {
  Names names;
  for (const auto& user : report["users"]) names.push_back(user["username"]);
  return names;
}

const CallerIdentity kRoot{.name = "root", .is_root = true};

// The report of sources that serve it alone.
nlohmann::json report_of(Sources sources, const Cli& cli, const CallerIdentity& caller) {
  return assemble_report(sources, cli, caller);
}

TEST(Assemble, FiltersOrderAndMax) {
  struct Case {
    std::string name;
    Cli cli;
    Names users;
  };
  const std::vector<Case> cases = {
      {"everybody by CPU", {}, {"alice", "bob", "carol", "res1", "N/A"}},
      {"max 2", {.max = 2}, {"alice", "bob"}},
      {"max 0", {.max = 0}, {}},
      {"username part", {.username = "o"}, {"bob", "carol"}},
      {"empty username matches every name", {.username = ""}, {"alice", "bob", "carol", "res1"}},
      {"no domain known: every domain is N/A", {.domain = ""}, {}},
      {"unknown sort name sorts by CPU", {.max = 1, .order_by = "bogus"}, {"alice"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(usernames(report_of(sources(), c.cli, kRoot)), c.users);
  }
}

TEST(Assemble, ScopeOfEachCaller) {
  Sources s = sources();
  s.admins = {"bob"};
  EXPECT_EQ(usernames(report_of(std::move(s), {}, kRoot)),
            (Names{"alice", "carol", "res1", "N/A"}));

  // A reseller sees the accounts the panel lists for him, and himself.
  s = sources();
  s.reseller_users = Names{"alice"};
  const CallerIdentity res1{.name = "res1"};
  EXPECT_EQ(usernames(report_of(std::move(s), {.for_reseller = "res1"}, res1)),
            (Names{"alice", "res1"}));
  EXPECT_EQ(usernames(report_of(sources(), {}, res1)), Names{"res1"});
  EXPECT_EQ(usernames(report_of(sources(), {}, {.name = "unknown", .has_account = false})),
            Names{});
}

TEST(Assemble, HideMysqlStripsFiguresAndRestriction) {
  Sources s = sources();
  TopUser& alice = s.snapshot.users[0];
  alice.usage.cpu.mysql = 2;
  alice.limit.io.mysql = "-";
  alice.restricted = true;
  alice.restriction = Restriction{.time = 1699999999, .reason = "cpu"};
  const auto report = report_of(std::move(s), {.hide_mysql = true, .max = 1}, kRoot);
  const auto& user = report["users"][0];
  EXPECT_EQ(user["usage"]["cpu"], nlohmann::json({{"all", 50.0}}));
  EXPECT_EQ(user["limit"]["io"], nlohmann::json({{"all", 0.0}}));
  EXPECT_EQ(user["restricted"], false);
  EXPECT_FALSE(user.contains("restriction"));
}

}  // namespace
}  // namespace vt::report

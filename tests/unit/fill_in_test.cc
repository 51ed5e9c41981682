#include "gather/fill_in.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "base/json_record.h"
#include "tests/unit/nan.h"

namespace vt::gather {
namespace {

using nlohmann::json;
using vt::test::kNaN;

TopUser user(std::uint32_t id, std::string name, std::string domain = "",
             std::string reseller = "") {
  TopUser u;
  u.id = id;
  u.username = std::move(name);
  u.domain = std::move(domain);
  u.reseller = std::move(reseller);
  return u;
}

TEST(FillIn, NameFilling) {
  const LoginNames login = {{1001, "alice"}, {1002, "bob"}};
  const PanelAccounts panel = {{1001, {"alice.example", "res1"}},
                               {1002, {"bob.example", "N/A"}},
                               {1004, {"panel.example", "res2"}}};
  struct Case {
    TopUser in;
    std::string username, domain, reseller;
  };
  const std::vector<Case> cases = {
      {user(1001, ""), "alice", "alice.example", "res1"},
      {user(1002, "", "", "own"), "bob", "bob.example", "own"},
      {user(1002, "bob", "mine.example", ""), "bob", "mine.example", "N/A"},
      {user(1003, "", "kept.example", "res1"), "N/A", "N/A", "N/A"},
      {user(1003, "carol"), "carol", "N/A", "N/A"},
      {user(1004, "dave"), "dave", "panel.example", "res2"},
      {user(1005, "N/A", "x.example", "r"), "N/A", "N/A", "N/A"},
  };
  for (auto c : cases) {
    SCOPED_TRACE(c.in.id);
    fill_username(c.in, login);
    fill_domain_and_reseller(c.in, panel);
    EXPECT_EQ(c.in.username, c.username);
    EXPECT_EQ(c.in.domain, c.domain);
    EXPECT_EQ(c.in.reseller, c.reseller);
  }
}

TEST(FillIn, PanelIdsDoNotWrapOntoUserIds) {
  const PanelAccounts panel = {{4294967296 + 1001, {"other.example", "res9"}}};
  TopUser u = user(1001, "alice");
  fill_domain_and_reseller(u, panel);
  EXPECT_EQ(u.domain, "N/A");
}

TEST(FillIn, DomainRemoval) {
  TopUser u = user(1001, "alice");
  u.domains.resize(2);
  remove_domains(u, true);
  EXPECT_EQ(u.domains.size(), 2u);
  remove_domains(u, false);
  EXPECT_TRUE(u.domains.empty());
}

plugins::TslLimits limits(std::optional<double> cpu, std::optional<double> io,
                          std::optional<std::string> error = std::nullopt) {
  plugins::TslLimits l;
  l.cpu = cpu;
  l.io = io;
  l.error = std::move(error);
  return l;
}

struct Merged {
  json usage_cpu, usage_io, limit_cpu, limit_io;
  bool restricted;
  std::optional<std::string> reason;
  std::int64_t time = 0;
};

Merged merge(TopUser u, const core::DbTslStatsByName& stats, const plugins::TslLimitsByName& limits,
             const std::string& mode) {
  merge_mysql(u, MysqlMerge{stats, limits, mode});
  Merged m{u.usage.cpu.mysql, u.usage.io.mysql, u.limit.cpu.mysql,
           u.limit.io.mysql,  u.restricted,     std::nullopt};
  if (u.restriction) {
    m.reason = u.restriction->reason;
    m.time = u.restriction->time;
  }
  return m;
}

TEST(FillIn, MysqlMergeInModeAll) {
  TopUser u = user(1001, "alice");
  u.usage.cpu.all = 10.0;
  u.usage.io.all = 500.0;
  u.restricted = true;
  u.restriction = Restriction{.time = 1, .reason = "old"};
  const core::DbTslStatsByName stats = {{"alice", {.cpu = 25.0, .io = 100.0}}};
  const plugins::TslLimitsByName tessel = {{"alice", limits(80.0, 2.0)}};
  const Merged m = merge(u, stats, tessel, "all");
  EXPECT_EQ(m.usage_cpu, 10.0);  // the smaller of the two
  EXPECT_EQ(m.usage_io, 100.0);
  EXPECT_EQ(m.limit_cpu, "-");
  EXPECT_EQ(m.limit_io, "-");
  EXPECT_FALSE(m.restricted);  // cause "-": the snapshot's restriction goes
  EXPECT_EQ(m.reason, std::nullopt);

  // NaN on either side: the other value; NaN on both: null.
  u.usage.cpu.all = kNaN;
  u.usage.io.all = kNaN;
  const Merged nan = merge(u, {{"alice", {.cpu = 3.0, .io = kNaN}}}, {}, "all");
  EXPECT_EQ(nan.usage_cpu, 3.0);
  EXPECT_TRUE(nan.usage_io.is_null());
}

TEST(FillIn, MysqlMergeInOtherModes) {
  TopUser u = user(1001, "alice");
  u.limit.cpu.mysql = "kept";
  u.limit.io.mysql = 7.0;
  const core::DbTslStatsByName stats = {{"alice", {.cpu = 25.0, .io = 100.0}}};
  struct Case {
    std::string name;
    plugins::TslLimitsByName tessel;
    json limit_cpu, limit_io;
  };
  const std::vector<Case> cases = {
      {"limits", {{"alice", limits(80.0, 2.0)}}, 80.0, 2048.0},
      {"no figures", {{"alice", {}}}, 0.0, 0.0},
      {"error text", {{"alice", limits(80.0, 2.0, "boom")}}, "kept", 7.0},
      {"no entry", {{"bob", limits(80.0, std::nullopt)}}, "kept", 7.0},
      {"infinite",
       {{"alice", limits(std::numeric_limits<double>::infinity(), 1e308)}},
       nullptr,
       nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Merged m = merge(u, stats, c.tessel, "none");
    EXPECT_EQ(m.limit_cpu, c.limit_cpu);
    EXPECT_EQ(m.limit_io, c.limit_io);
    EXPECT_EQ(m.usage_cpu, 25.0);
    EXPECT_EQ(m.usage_io, 100.0);
  }
  // Without a MySQL record: the default figures.
  const Merged none = merge(u, {}, {}, "none");
  EXPECT_EQ(none.usage_cpu, 0.0);
  EXPECT_EQ(none.usage_io, 0.0);
}

TEST(FillIn, Restrictions) {
  const std::vector<std::tuple<std::string, bool, std::string>> cases = {
      {"io", true, "Violated the io limit"},
      {"cpu", true, "Violated the cpu limit"},
      {"unknown", true, "Violated the unknown limit"},
      {"-", false, ""},
      {"", false, ""},
  };
  for (const auto& [cause, restricted, reason] : cases) {
    SCOPED_TRACE(cause);
    for (const char* mode : {"all", "none"}) {
      const core::DbTslStatsByName stats = {
          {"alice", {.cause_of_restrict = cause, .time_of_restrict = 1234}}};
      const Merged m = merge(user(1001, "alice"), stats, {}, mode);
      EXPECT_EQ(m.restricted, restricted);
      EXPECT_EQ(m.reason.value_or(""), reason);
      EXPECT_EQ(m.time, restricted ? 1234 : 0);
    }
  }
}

TEST(FillIn, MysqlNames) {
  const std::vector<std::uint32_t> ids = {1001, 1002, 1003, 1004, 1005, 1006};
  const std::vector<std::string> usernames = {"alice", "", "", "N/A", "alice", ""};
  const LoginNames login = {{1002, "bob"}, {1006, "N/A"}};
  EXPECT_EQ(mysql_names(ids, usernames, login),
            (std::vector<std::string>{"alice", "bob", "alice"}));
}

TEST(FillIn, ResellerEntries) {
  const LoginNames login = {{1501, "res1"}, {1502, "res2"}, {0, "root"}};
  const std::vector<json> snapshot = {
      json{{"id", 1000001501}, {"name", "stale"}},
      json{{"id", 1502}, {"extra", true}},
      json{{"id", 1000000000}},
      json{{"id", 7}},
      json{{"id", -3}},
      json{{"id", 1.5}},
      json{{"id", "1501"}},
      json{{"id", 5294967296 + 1501}},  // no user id: no wrap-around onto 1501
      json{{"id", base::json::integer_text("18446744073709551616")}},
      json{{"id", base::json::integer_text("-18446744073709551617")}},
      json::object(),
      json("text"),
      json::array({1, 2}),
  };
  const CallerIdentity root{.name = "root", .is_root = true};
  const auto all = reseller_entries(snapshot, root, std::nullopt, login);
  const std::vector<json> expected = {
      json{{"id", 1000001501}, {"name", "res1"}},
      json{{"id", 1502}, {"extra", true}, {"name", "res2"}},
      json{{"id", 1000000000}, {"name", "root"}},
      json{{"id", 7}, {"name", "N/A"}},
      json{{"id", -3}},
      json{{"id", 1.5}},
      json{{"id", "1501"}},
      json{{"id", 5294967296 + 1501}, {"name", "N/A"}},
      json{{"id", base::json::integer_text("18446744073709551616")}, {"name", "N/A"}},
      json{{"id", base::json::integer_text("-18446744073709551617")}},
      json::object(),
      json("text"),
      json::array({1, 2}),
  };
  EXPECT_EQ(all, expected);

  const auto only_res1 = reseller_entries(snapshot, root, "res1", login);
  EXPECT_EQ(only_res1, std::vector<json>{expected[0]});
  EXPECT_TRUE(reseller_entries(snapshot, root, "nobody", login).empty());

  const CallerIdentity reseller{.name = "res1"};
  EXPECT_TRUE(reseller_entries(snapshot, reseller, "res1", login).empty());
  EXPECT_TRUE(reseller_entries(snapshot, reseller, std::nullopt, login).empty());
}

}  // namespace
}  // namespace vt::gather

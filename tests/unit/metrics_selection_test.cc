#include <gtest/gtest.h>

#include <array>
#include <limits>
#include <string>
#include <vector>

#include "metrics/selection.h"
#include "tests/unit/nan.h"

namespace vt::metrics {

using namespace vt::gather;
namespace {

using vt::test::kNaN;

// An account whose every figure is left out (NaN, null) but those given.
struct Figures {
  double cpu = kNaN;
  double cpu_limit = kNaN;
  double io = kNaN;
  double mysql_io = kNaN;
  double mysql_io_limit = kNaN;
  bool restricted = false;
};

TopUser account(std::uint32_t id, const Figures& f) {
  TopUser a;
  a.id = id;
  a.usage = {.cpu = {.all = f.cpu, .mysql = nullptr},
             .io = {.all = f.io, .mysql = f.mysql_io},
             .iops = kNaN,
             .ep = kNaN,
             .mem = kNaN,
             .pno = kNaN};
  a.limit = a.usage;
  a.limit.cpu.all = f.cpu_limit;
  a.limit.io = {.all = kNaN, .mysql = f.mysql_io_limit};
  a.restricted = f.restricted;
  return a;
}

std::vector<std::uint32_t> exported_ids(const std::vector<TopUser>& accounts,
                                        const SelectionBounds& bounds) {
  std::vector<std::uint32_t> ids;
  for (const std::size_t i : select_accounts(accounts, bounds).exported)
    ids.push_back(accounts[i].id);
  return ids;
}

TEST(MetricsSelection, Bounds) {
  // Top: 5 and 6 by CPU (6 before 7 on a tie), 8 and 9 by I/O; no other
  // usage has samples but MySQL I/O, whose top is 12. Near a limit (0.9): 1
  // (at it: 1.2), 2 (0.99), 3 (exactly 0.9), 10 (0.95), 12 (MySQL I/O 0.95),
  // not 4 (0.89). Restricted, without a limit: 11, in every selection but
  // the capped ones.
  const std::vector<TopUser> accounts = {
      account(1, {.cpu = 1.2, .cpu_limit = 1}),
      account(2, {.cpu = 0.99, .cpu_limit = 1}),
      account(3, {.cpu = 0.9, .cpu_limit = 1}),
      account(4, {.cpu = 0.89, .cpu_limit = 1}),
      account(5, {.cpu = 50}),
      account(6, {.cpu = 40}),
      account(7, {.cpu = 40}),
      account(8, {.io = 30}),
      account(9, {.io = 20}),
      account(10, {.cpu = 0.95, .cpu_limit = 1}),
      account(11, {.restricted = true}),
      account(12, {.mysql_io = 95, .mysql_io_limit = 100}),
  };
  struct Case {
    std::string name;
    SelectionBounds bounds;
    std::vector<std::uint32_t> ids;
  };
  const std::vector<Case> cases = {
      {"top 1 of each usage", {.top = 1, .near_limit = 2}, {5, 8, 11, 12}},
      {"top 2, ties in order", {.top = 2, .near_limit = 2}, {5, 6, 8, 9, 11, 12}},
      {"near a limit, at the fraction too", {.top = 0}, {1, 2, 3, 10, 11, 12}},
      {"a lower fraction", {.top = 0, .near_limit = 0.89}, {1, 2, 3, 4, 10, 11, 12}},
      {"restricted only", {.top = 0, .near_limit = 2}, {11}},
      {"cap: top, restricted, at a limit", {.top = 1, .max_accounts = 5}, {1, 5, 8, 11, 12}},
      {"cap: then near, by uid", {.top = 0, .max_accounts = 4}, {1, 2, 3, 11}},
      {"cap below the top: best ranks", {.top = 2, .near_limit = 2, .max_accounts = 3}, {5, 8, 12}},
      {"cap 0", {.max_accounts = 0}, {}},
      {"all accounts, no cap",
       {.top = 0, .max_accounts = 1, .all_accounts = true},
       {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(exported_ids(accounts, c.bounds), c.ids);
  }
  // Every account counts, whatever is exported; the selection before the
  // cap: top 5, 6 (over 7 by order), 8, 9, 12, near 1, 2, 3, 10, restricted 11.
  const std::array<std::uint64_t, gather::kUsageCount> near = {4, 0, 0, 0, 0, 0, 0, 1};
  for (const SelectionBounds& bounds : {SelectionBounds{.top = 2, .max_accounts = 0},
                                        SelectionBounds{.top = 2, .all_accounts = true}}) {
    const Selection selection = select_accounts(accounts, bounds);
    EXPECT_EQ(selection.near_limit, near);
    EXPECT_EQ(selection.restricted, 1u);
    EXPECT_EQ(selection.selected, bounds.all_accounts ? accounts.size() : 10u);
  }
}

TEST(MetricsSelection, AllAccountsStopAtTheirBound) {
  // One account too many. The top CPU account, far from its limit, is kept
  // first; of the rest, the highest uid goes, though nearer its limit.
  const std::uint32_t last = kAllAccountsMax + 1;
  std::vector<TopUser> accounts;
  for (std::uint32_t id = 1; id < last - 1; ++id) {
    accounts.push_back(account(id, {.cpu = 0.5, .cpu_limit = 1}));
  }
  accounts.push_back(account(last - 1, {.cpu = 0.7, .cpu_limit = 1}));
  accounts.push_back(account(last, {.cpu = 9, .cpu_limit = 100}));
  const auto ids = exported_ids(accounts, {.top = 1, .all_accounts = true});
  ASSERT_EQ(ids.size(), kAllAccountsMax);
  EXPECT_EQ(std::vector<std::uint32_t>(ids.end() - 3, ids.end()),
            (std::vector<std::uint32_t>{last - 3, last - 2, last}));
}

TEST(MetricsSelection, CapTiesByUidAndOneRecordPerUid) {
  // The later record of uid 20, restricted, is not the account.
  const std::vector<TopUser> accounts = one_per_uid({
      account(30, {.cpu = 1, .cpu_limit = 1}),
      account(20, {.cpu = 1, .cpu_limit = 1}),
      account(10, {.cpu = 0.5, .cpu_limit = 1, .restricted = true}),
      account(20, {.cpu = 0.1, .cpu_limit = 1, .restricted = true}),
  });
  EXPECT_EQ(exported_ids(accounts, {.top = 0, .max_accounts = 2}),
            (std::vector<std::uint32_t>{10, 20}));
  const Selection all = select_accounts(accounts, {.top = 0});
  EXPECT_EQ(all.exported.size(), 3u);
  EXPECT_EQ(all.restricted, 1u);
}

TEST(MetricsSelection, OnePerUidKeepsTheFirstRecordOfEachIdInOrder) {
  // Each record's CPU figure is its place in the snapshot.
  struct Case {
    std::vector<std::uint32_t> ids;
    std::vector<double> kept;
  };
  const std::vector<Case> cases = {
      {{1, 2, 3}, {0, 1, 2}},
      {{1, 1, 2}, {0, 2}},
      {{5, 5, 1, 5, 0}, {0, 2, 4}},
  };
  for (const auto& c : cases) {
    std::vector<TopUser> accounts;
    for (std::size_t i = 0; i < c.ids.size(); ++i) {
      accounts.push_back(account(c.ids[i], {.cpu = static_cast<double>(i)}));
    }
    std::vector<double> kept;
    for (const TopUser& a : one_per_uid(std::move(accounts))) kept.push_back(a.usage.cpu.all);
    EXPECT_EQ(kept, c.kept) << ::testing::PrintToString(c.ids);
  }
}

}  // namespace
}  // namespace vt::metrics

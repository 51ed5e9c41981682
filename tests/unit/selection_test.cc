#include "gather/selection.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numeric>

#include "tests/unit/nan.h"

namespace vt::gather {
namespace {

using vt::test::kNaN;

TopUser user(std::uint32_t id, std::string name, double cpu, double io = 0) {
  TopUser u;
  u.id = id;
  u.username = std::move(name);
  u.usage.cpu.all = cpu;
  u.usage.io.all = io;
  u.usage.iops = id % 7;
  u.usage.ep = id % 5;
  u.usage.mem = id % 11;
  u.usage.pno = id % 3;
  return u;
}

TEST(Selection, SortNames) {
  const std::vector<std::pair<std::string, Usage>> cases = {
      {"cpu", Usage::cpu},
      {"CPU", Usage::cpu},
      {"io", Usage::io},
      {"IO", Usage::io},
      {"Io", Usage::io},
      {"iops", Usage::iops},
      {"IOPS", Usage::iops},
      {"ep", Usage::ep},
      {"nproc", Usage::nproc},
      {"pmem", Usage::pmem},
      {"mysql_cpu", Usage::mysql_cpu},
      {"MySQL_IO", Usage::mysql_io},
      {"bogus", Usage::cpu},
      {"mem", Usage::cpu},
      {"pno", Usage::cpu},
      {"", Usage::cpu},
      {" io", Usage::cpu},
      {"\xe2\x84\xaao", Usage::cpu},
  };
  for (const auto& [name, key] : cases) {
    SCOPED_TRACE(name);
    EXPECT_EQ(sort_key_named(name), key);
  }
}

TEST(Selection, Usages) {
  TopUser u = user(1001, "alice", 12.5, 300);
  u.usage.iops = 4;
  u.usage.ep = 5;
  u.usage.mem = 6;
  u.usage.pno = 7;
  core::DbTslStatsByName mysql = {{"alice", {.cpu = 9, .io = 10}}, {"bob", {.cpu = 1, .io = 2}}};
  const LoginNames login = {{1002, "bob"}};
  EXPECT_EQ(sort_key(u, Usage::cpu, mysql, login), 12.5);
  EXPECT_EQ(sort_key(u, Usage::io, mysql, login), 300);
  EXPECT_EQ(sort_key(u, Usage::iops, mysql, login), 4);
  EXPECT_EQ(sort_key(u, Usage::ep, mysql, login), 5);
  EXPECT_EQ(sort_key(u, Usage::pmem, mysql, login), 6);
  EXPECT_EQ(sort_key(u, Usage::nproc, mysql, login), 7);
  EXPECT_EQ(sort_key(u, Usage::mysql_cpu, mysql, login), 9);
  EXPECT_EQ(sort_key(u, Usage::mysql_io, mysql, login), 10);
  // Without a username, the login name; without either, the empty name.
  TopUser nameless = user(1002, "", 0);
  EXPECT_EQ(sort_key(nameless, Usage::mysql_cpu, mysql, login), 1);
  nameless.id = 1003;
  EXPECT_EQ(sort_key(nameless, Usage::mysql_io, mysql, login), 0);
  mysql[""] = {.cpu = 3, .io = 4};
  EXPECT_EQ(sort_key(nameless, Usage::mysql_io, mysql, login), 4);
}

// The positions of `users` in the order, read through a walk's window.
std::vector<std::size_t> positions(const std::vector<TopUser>& users, Usage key,
                                   const core::DbTslStatsByName& mysql = {},
                                   std::uint64_t wanted = 25) {
  UserOrder order = order_users(users, key, mysql, {}, wanted);
  std::vector<std::size_t> read;
  for (std::size_t rank = 0; rank < order.count; ++rank) read.push_back(position_at(order, rank));
  return read;
}

std::vector<std::uint32_t> ids_in_order(const std::vector<TopUser>& users, Usage key,
                                        const core::DbTslStatsByName& mysql = {}) {
  std::vector<std::uint32_t> ids;
  for (std::size_t i : positions(users, key, mysql)) {
    ids.push_back(users[i].id);
  }
  return ids;
}

TEST(Selection, OrderIsGreatestFirstAndStable) {
  const std::vector<TopUser> users = {user(1, "a", 5, 1), user(2, "b", 7, 9), user(3, "c", 5, 3),
                                      user(4, "d", 9, 3), user(5, "e", 5, 0)};
  EXPECT_EQ(ids_in_order(users, Usage::cpu), (std::vector<std::uint32_t>{4, 2, 1, 3, 5}));
  EXPECT_EQ(ids_in_order(users, Usage::io), (std::vector<std::uint32_t>{2, 3, 4, 1, 5}));
  EXPECT_EQ(ids_in_order({}, Usage::cpu), std::vector<std::uint32_t>{});
}

TEST(Selection, NaNKeysComeLastAndKeepTheirOrder) {
  const core::DbTslStatsByName mysql = {
      {"a", {.cpu = kNaN}}, {"b", {.cpu = 2}},
      {"c", {.cpu = kNaN}}, {"d", {.cpu = -1}},
      {"e", {.cpu = 0}},    {"f", {.cpu = std::numeric_limits<double>::infinity()}}};
  const std::vector<TopUser> users = {user(1, "a", 0), user(2, "b", 0), user(3, "c", 0),
                                      user(4, "d", 0), user(5, "e", 0), user(6, "f", 0),
                                      user(7, "g", 0)};
  // "g" has no figures: 0.0, equal to "e" and after it in snapshot order.
  EXPECT_EQ(ids_in_order(users, Usage::mysql_cpu, mysql),
            (std::vector<std::uint32_t>{6, 2, 5, 7, 4, 1, 3}));
}

TEST(Selection, ManyNaNKeysKeepTheSortWellDefined) {
  // A comparator that is no strict weak order breaks std::stable_sort on
  // larger inputs; mix NaN among many keys to exercise it.
  std::vector<TopUser> users;
  for (std::uint32_t i = 0; i < 2000; ++i) {
    users.push_back(user(i, "u", i % 3 == 0 ? kNaN : static_cast<double>((i * 7919) % 101)));
  }
  const auto order = positions(users, Usage::cpu, {}, users.size());
  ASSERT_EQ(order.size(), users.size());
  // Ordered a stretch at a time, from any first stretch, the order is the same.
  for (const std::uint64_t wanted : {0, 1, 25, 499, 2000}) {
    EXPECT_EQ(positions(users, Usage::cpu, {}, wanted), order) << wanted;
  }
  bool seen_nan = false;
  for (std::size_t k = 0; k < order.size(); ++k) {
    const double key = users[order[k]].usage.cpu.all;
    if (std::isnan(key)) {
      seen_nan = true;
      if (k > 0 && std::isnan(users[order[k - 1]].usage.cpu.all)) {
        EXPECT_LT(order[k - 1], order[k]);  // NaN keys keep snapshot order
      }
      continue;
    }
    EXPECT_FALSE(seen_nan) << "a number after a NaN key at " << k;
    if (k > 0) {
      const double before = users[order[k - 1]].usage.cpu.all;
      EXPECT_GE(before, key);
      if (before == key) {
        EXPECT_LT(order[k - 1], order[k]);
      }
    }
  }
}

}  // namespace
}  // namespace vt::gather

namespace vt::gather {
namespace {

TEST(Selection, HidingOutsideTheLoginRange) {
  const std::vector<std::uint32_t> ids = {0,          999,        1000,       60000,
                                          60001,      1000000000, 1000000001, 999999999,
                                          2147483647, 2147483648, 4294967295};
  struct Case {
    bool use_big_uids, hide;
    std::vector<std::uint32_t> kept;
  };
  const std::vector<Case> cases = {
      {false, true, {1000, 60000, 1000000001, 2147483647, 2147483648, 4294967295}},
      {true, true, {1000, 60000, 2147483648, 4294967295}},
      {false, false, ids},
      {true, false, ids},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.use_big_uids << c.hide);
    const Visibility visibility{c.use_big_uids, c.hide, 1000, 60000};
    std::vector<std::uint32_t> kept;
    for (auto id : ids) {
      if (is_visible(visibility, id)) kept.push_back(id);
    }
    EXPECT_EQ(kept, c.kept);
  }
}

}  // namespace
}  // namespace vt::gather

#include "gather/walk.h"

#include <gtest/gtest.h>

namespace vt::gather {
namespace {

TopUser user(std::uint32_t id, std::string name, std::string domain = "") {
  TopUser u;
  u.id = id;
  u.username = std::move(name);
  u.domain = std::move(domain);
  u.domains.resize(1);
  return u;
}

// The accounts in walk order.
std::vector<TopUser> accounts() {
  return {user(1001, "abc", "abc.example"),   user(1002, "xab", "shop.example"),
          user(1003, "ABC", "abc.example"),   user(1004, ""),
          user(1005, "admin", "abc.example"), user(1006, "", "kept.example")};
}

struct Options {
  std::optional<std::unordered_set<std::string>> allowed{};
  std::unordered_set<std::string> admins{};
  std::optional<std::string> username{}, domain{};
  std::uint64_t max = 25;
  bool keep_domains = false;
};

std::vector<std::string> walk(const Options& o, std::vector<TopUser>* out = nullptr) {
  std::vector<TopUser> users = accounts();
  UserOrder order = snapshot_order(users.size());
  const LoginNames login = {{1004, "dave"}};
  const PanelAccounts panel = {{1004, {"dave.example", "res1"}}};
  const WalkRules rules{.login_names = login,
                        .panel = panel,
                        .admins = o.admins,
                        .allowed = o.allowed,
                        .username = o.username,
                        .domain = o.domain,
                        .max = o.max,
                        .keep_domains = o.keep_domains};
  std::vector<TopUser> selected = walk_users(users, order, rules);
  std::vector<std::string> names;
  for (const auto& u : selected) names.push_back(u.username);
  if (out != nullptr) *out = std::move(selected);
  return names;
}

using Names = std::vector<std::string>;

TEST(Walk, FiltersAndLimit) {
  struct Case {
    std::string name;
    Options options;
    Names expected;
  };
  const std::vector<Case> cases = {
      {"everything", {}, {"abc", "xab", "ABC", "dave", "admin", "N/A"}},
      {"username substring", {.username = "ab"}, {"abc", "xab"}},
      {"empty username keeps all but N/A",
       {.username = ""},
       {"abc", "xab", "ABC", "dave", "admin"}},
      {"pattern characters are plain", {.username = "a.c"}, {}},
      {"longer than the name", {.username = "abcdefgh"}, {}},
      {"domain substring", {.domain = "abc."}, {"abc", "ABC", "admin"}},
      {"domain filled from the panel", {.domain = "dave"}, {"dave"}},
      {"empty domain keeps all but N/A", {.domain = ""}, {"abc", "xab", "ABC", "dave", "admin"}},
      {"admins skipped", {.admins = {"admin", "nobody"}}, {"abc", "xab", "ABC", "dave", "N/A"}},
      {"allowed names",
       {.allowed = std::unordered_set<std::string>{"dave", "xab"}},
       {"xab", "dave"}},
      {"empty allowed list", {.allowed = std::unordered_set<std::string>{}}, {}},
      {"max 1", {.max = 1}, {"abc"}},
      {"max counts accepted users only", {.username = "ab", .max = 1}, {"abc"}},
      {"max after filters", {.domain = "abc", .max = 2}, {"abc", "ABC"}},
      {"max 0 takes none", {.max = 0}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(walk(c.options), c.expected);
  }
}

TEST(Walk, CompletesAcceptedUsers) {
  std::vector<TopUser> selected;
  walk({}, &selected);
  ASSERT_EQ(selected.size(), 6u);
  EXPECT_EQ(selected[3].domain, "dave.example");
  EXPECT_EQ(selected[3].reseller, "res1");
  EXPECT_EQ(selected[5].domain, "N/A");  // no name: no domain either
  for (const auto& u : selected) EXPECT_TRUE(u.domains.empty());
  walk({.keep_domains = true}, &selected);
  for (const auto& u : selected) EXPECT_EQ(u.domains.size(), 1u);
}

}  // namespace
}  // namespace vt::gather

#include "gather/sieve.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

namespace vt::gather {
namespace {

using NameSet = std::unordered_set<std::string>;
using Ids = std::vector<std::uint32_t>;

TopUser named(std::uint32_t id, std::string name) {
  TopUser u;
  u.id = id;
  u.username = std::move(name);
  return u;
}

TEST(Sieve, KeepsWhatTheCallerMaySee) {
  const std::vector<TopUser> users = {named(1001, "alice"), named(1002, ""),
                                      named(999, "hidden"), named(1004, ""),
                                      named(1005, "N/A"),   named(1006, "")};
  // 1002 was renamed; 1004 is bob too; 1006 has no login name.
  const std::vector<std::pair<std::uint32_t, std::string>> passwd = {
      {1002, "carol"}, {1004, "bob"}, {1002, "bob"}, {999, "hidden"}};
  struct Case {
    std::optional<NameSet> allowed;
    Ids kept;
  };
  const std::vector<Case> cases = {
      {std::nullopt, {1001, 1002, 1004, 1005, 1006}},
      {NameSet{"bob"}, {1002, 1004}},
      {NameSet{"carol", "alice"}, {1001}},
      {NameSet{"N/A"}, {1005, 1006}},
      {NameSet{"hidden"}, {}},
      {NameSet{}, {}},
  };
  for (const Case& c : cases) {
    // The login names a run reads for the caller, and all of them: the
    // sieve keeps the same accounts with either.
    for (const bool all_names : {false, true}) {
      SCOPED_TRACE(testing::Message() << c.kept.size() << " kept, all names " << all_names);
      const NameSet* needed = all_names || !c.allowed ? nullptr : login_names_for_scope(*c.allowed);
      LoginNames login;
      for (const auto& [uid, name] : passwd) add_login_name(login, uid, name, needed);
      AccountSieve sieve{.visibility = {false, true, 1000, 60000},
                         .allowed = c.allowed ? &*c.allowed : nullptr,
                         .login_names = &login,
                         .keep_domains = false,
                         .note_usernames = true,
                         .visible_ids = {},
                         .visible_usernames = {}};
      Ids kept;
      for (TopUser u : users) {
        if (sieve(u)) kept.push_back(u.id);
      }
      EXPECT_EQ(kept, c.kept);
      EXPECT_EQ(sieve.visible_ids, (Ids{1001, 1002, 1004, 1005, 1006}));
      EXPECT_EQ(sieve.visible_usernames, (std::vector<std::string>{"alice", "", "", "N/A", ""}));
    }
  }
}

}  // namespace
}  // namespace vt::gather

#pragma once
// The walk over the ordered accounts: scope, admin and name filters,
// filling in, and the --max limit.
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "cli/fill_in.h"

namespace vt::cli {

struct WalkRules {
  const LoginNames& login_names;
  const PanelAccounts& panel;
  const std::unordered_set<std::string>& admins;  ///< skipped; empty unless root
  /// The names the caller may see; nothing means every name.
  const std::optional<std::unordered_set<std::string>>& allowed;
  const std::optional<std::string>& username;  ///< --username substring
  const std::optional<std::string>& domain;    ///< --domain substring
  std::uint64_t max = 25;
  bool keep_domains = false;
  const MysqlMerge* mysql = nullptr;  ///< the MySQL merge, when it is on
};

/// Fills in `user` (names, domain, reseller, the MySQL merge) as far as
/// the rules look at it, and says whether the walk takes it.
bool accept_user(TopUser& user, const WalkRules& rules);

/// Walks `users` in `order`, filling in and taking the accepted ones (moved
/// out of `users`) until `max` are taken. A `max` of 0 takes none.
std::vector<TopUser> walk_users(std::vector<TopUser>& users, const std::vector<std::size_t>& order,
                                const WalkRules& rules);

}  // namespace vt::cli

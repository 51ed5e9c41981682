#pragma once
// The walk over the ordered accounts: scope, admin and name filters,
// filling in, and the limit on how many are taken.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "gather/access.h"
#include "gather/fill_in.h"
#include "gather/scope.h"
#include "gather/sources.h"

namespace vt::gather {

struct WalkRules {
  const LoginNames& login_names;
  const PanelAccounts& panel;
  const std::unordered_set<std::string>& admins;  ///< skipped; empty unless root
  /// The names the caller may see; nothing means every name.
  const std::optional<std::unordered_set<std::string>>& allowed;
  const std::optional<std::string>& username;  ///< substring of the names taken
  const std::optional<std::string>& domain;    ///< substring of the domains taken
  std::uint64_t max = 25;
  bool keep_domains = false;
  const MysqlMerge* mysql = nullptr;  ///< the MySQL merge, when it is on
};

/// Fills in `user` (names, domain, reseller, the MySQL merge) as far as
/// the rules look at it, and says whether the walk takes it.
bool accept_user(TopUser& user, const WalkRules& rules);

/// Walks `users` in `order`, filling in and taking the accepted ones (moved
/// out of `users`) until `max` are taken. A `max` of 0 takes none. In
/// snapshot order the walk works in place: the result takes over the
/// storage of `users`, which is left empty; this spares a second copy of
/// every record when nothing limits the walk.
std::vector<TopUser> walk_users(std::vector<TopUser>& users, UserOrder& order,
                                const WalkRules& rules);

/// The accounts of `caller`'s scope that `scope`'s filters accept, taken in
/// `order` (of `sources.snapshot.users`, whose records are moved out) until
/// `scope.max` are taken, and completed: the panel's admins left out,
/// names, domains and resellers filled in, the MySQL figures merged when
/// `sources.mysql_in_report` is set.
std::vector<TopUser> accepted_accounts(Sources& sources, const Scope& scope,
                                       const CallerIdentity& caller, UserOrder& order);

}  // namespace vt::gather

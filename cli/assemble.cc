#include "cli/assemble.h"

#include <algorithm>
#include <functional>

#include "cli/report.h"
#include "cli/walk.h"

namespace vt::cli {
namespace {

// The walk over positions that ascend, done in place: each accepted account
// moves to the front of `users` (slot k is never one still to come), and
// `users` itself becomes the result. Without a limit this spares a second
// copy of every record and a second block of memory.
std::vector<TopUser> walk_in_place(std::vector<TopUser>& users,
                                   const std::vector<std::size_t>& order, const WalkRules& rules) {
  std::size_t kept = 0;
  for (const std::size_t index : order) {
    if (kept >= rules.max) break;
    if (!accept_user(users[index], rules)) continue;
    if (index != kept) users[kept] = std::move(users[index]);
    ++kept;
  }
  users.erase(users.begin() + static_cast<std::ptrdiff_t>(kept), users.end());
  return std::move(users);
}

}  // namespace

std::vector<TopUser> accepted_accounts(Sources& sources, const Cli& cli,
                                       const CallerIdentity& caller,
                                       const std::vector<std::size_t>& order) {
  const auto allowed = allowed_names(caller, cli.for_reseller, sources.reseller_users);
  const MysqlMerge mysql{sources.mysql_stats, sources.tessel_limits, sources.tessel_mode};
  const WalkRules rules{.login_names = sources.login_names,
                        .panel = sources.panel,
                        .admins = sources.admins,
                        .allowed = allowed,
                        .username = cli.username,
                        .domain = cli.domain,
                        .max = cli.max,
                        .keep_domains = cli.domains,
                        .mysql = sources.mysql_in_report ? &mysql : nullptr};
  std::vector<TopUser>& users = sources.snapshot.users;
  if (std::ranges::adjacent_find(order, std::greater_equal{}) == order.end()) {
    return walk_in_place(users, order, rules);
  }
  return walk_users(users, order, rules);
}

nlohmann::json assemble_report(Sources&& sources, const Cli& cli, const CallerIdentity& caller) {
  const auto order =
      order_users(sources.snapshot.users, sources.visible, sort_key_named(cli.order_by),
                  sources.mysql_stats, sources.login_names);
  std::vector<TopUser> selected = accepted_accounts(sources, cli, caller, order);
  const auto resellers =
      reseller_entries(sources.snapshot.resellers, caller, cli.for_reseller, sources.login_names);
  if (cli.hide_mysql) {
    for (TopUser& user : selected) strip_mysql(user);
  }
  return usage_report(selected, resellers, sources.snapshot.timestamp, sources.tessel,
                      sources.tessel_mode);
}

}  // namespace vt::cli

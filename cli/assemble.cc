#include "cli/assemble.h"

#include <algorithm>
#include <functional>

#include "cli/report.h"
#include "cli/walk.h"

namespace vt::cli {
namespace {

// walk_users() over positions that ascend, taken in parts: each part's
// accepted accounts move back into the slots already walked (slot k is
// never one still to come), and `users` itself becomes the result. Without
// a limit this spares a second copy of every record and a second block of
// memory.
std::vector<TopUser> walk_in_place(std::vector<TopUser>& users,
                                   const std::vector<std::size_t>& order, WalkRules rules) {
  constexpr std::size_t kPart = 256;
  const std::uint64_t max = rules.max;
  std::vector<std::size_t> part;
  std::size_t kept = 0;
  for (std::size_t from = 0; from < order.size() && kept < max; from += kPart) {
    const auto first = order.begin() + static_cast<std::ptrdiff_t>(from);
    part.assign(first, first + static_cast<std::ptrdiff_t>(std::min(kPart, order.size() - from)));
    rules.max = max - kept;
    for (TopUser& user : walk_users(users, part, rules)) users[kept++] = std::move(user);
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
                        .mysql = sources.merge ? &mysql : nullptr};
  std::vector<TopUser>& users = sources.snapshot.users;
  if (std::ranges::adjacent_find(order, std::greater_equal{}) == order.end()) {
    return walk_in_place(users, order, rules);
  }
  return walk_users(users, order, rules);
}

nlohmann::json assemble_report(Sources& sources, const Cli& cli, const CallerIdentity& caller) {
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

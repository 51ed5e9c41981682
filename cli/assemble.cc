#include "cli/assemble.h"

#include "cli/report.h"
#include "cli/walk.h"

namespace vt::cli {

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
  return walk_users(sources.snapshot.users, order, rules);
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

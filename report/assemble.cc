#include "report/assemble.h"

#include "gather/fill_in.h"
#include "gather/selection.h"
#include "gather/walk.h"
#include "report/document.h"

namespace vt::report {

gather::Scope scope_of(const Cli& cli) {
  return {.for_reseller = cli.for_reseller,
          .username = cli.username,
          .domain = cli.domain,
          .max = cli.max,
          .order = gather::sort_key_named(cli.order_by),
          .keep_domains = cli.domains,
          .with_mysql = !cli.hide_mysql};
}

nlohmann::json assemble_report(gather::Sources& sources, const Cli& cli,
                               const gather::CallerIdentity& caller) {
  const gather::Scope scope = scope_of(cli);
  auto order = gather::order_users(sources.snapshot.users, scope.order, sources.mysql_stats,
                                   sources.login_names, scope.max);
  std::vector<gather::TopUser> selected = gather::accepted_accounts(sources, scope, caller, order);
  const auto resellers = gather::reseller_entries(sources.snapshot.resellers, caller,
                                                  cli.for_reseller, sources.login_names);
  if (cli.hide_mysql) {
    for (gather::TopUser& user : selected) gather::strip_mysql(user);
  }
  return usage_report(selected, resellers, sources.snapshot.timestamp, sources.tessel,
                      sources.tessel_mode);
}

}  // namespace vt::report

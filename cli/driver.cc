#include "cli/driver.h"

#include <unistd.h>

#include <csignal>
#include <unordered_set>

#include "base/json_write.h"
#include "cli/access.h"
#include "cli/completion.h"
#include "cli/exit_status.h"
#include "cli/options.h"
#include "cli/output.h"
#include "cli/report.h"
#include "cli/selection.h"
#include "cli/service_state.h"
#include "cli/snapshot.h"
#include "cli/timestamp_file.h"
#include "cli/walk.h"
#include "core/config.h"
#include "core/identity.h"

namespace vt::cli {
namespace {

constexpr const char* kStatsConfigPath = "/etc/sysconfig/kobstats2";

int print_document(const nlohmann::json& document, int status) {
  write_all(STDOUT_FILENO, base::write_json(document));
  return status;
}

int fail(const base::Error& error) {
  write_all(STDERR_FILENO, format_fatal(error));
  return kExitFailure;
}

// Everything the report is made of, gathered once per run.
struct Sources {
  core::TesselStatus tessel;
  std::string tessel_mode = "none";
  SavedTopData snapshot;
  LoginNames login_names;
  PanelAccounts panel;
  std::unordered_set<std::string> admins;
  core::MysqlStats mysql_stats;
  plugins::TesselLimits tessel_limits;
};

LoginNames login_names_of_accounts() {
  LoginNames names;
  for (auto& user : core::list_login_users()) names[user.uid] = std::move(user.name);
  return names;
}

// The report of an accepted caller whose statistics service runs.
int report(const Cli& cli, const CallerIdentity& caller) {
  if (touches_timestamp(caller, cli.for_reseller)) touch_timestamp_file(kTesselTimestampPath);

  Sources sources;
  auto snapshot = load_snapshot(kSnapshotPath, epoch_seconds_now());
  if (!snapshot) return fail(snapshot.error());
  sources.snapshot = std::move(*snapshot);
  const core::StatsConfig config = core::load_stats_config(kStatsConfigPath);

  std::vector<TopUser>& users = sources.snapshot.users;
  hide_outside_login_range(users, config.use_big_uids, config.hide_kob_more_than_maxuid,
                           core::login_uid_min(), core::login_uid_max());
  sources.login_names = login_names_of_accounts();

  const bool merge = sources.tessel.status == "enabled" && !cli.hide_mysql;
  const auto allowed = allowed_names(caller, cli.for_reseller, std::nullopt);
  std::optional<std::unordered_set<std::string>> allowed_set;
  if (allowed) allowed_set.emplace(allowed->begin(), allowed->end());

  const auto order =
      order_users(users, sort_key_named(cli.order_by), sources.mysql_stats, sources.login_names);
  const MysqlMerge mysql{sources.mysql_stats, sources.tessel_limits, sources.tessel_mode};
  const WalkRules rules{.login_names = sources.login_names,
                        .panel = sources.panel,
                        .admins = sources.admins,
                        .allowed = allowed_set,
                        .username = cli.username,
                        .domain = cli.domain,
                        .max = cli.max,
                        .keep_domains = cli.domains,
                        .mysql = merge ? &mysql : nullptr};
  std::vector<TopUser> selected = walk_users(users, order, rules);
  const auto resellers =
      reseller_entries(sources.snapshot.resellers, caller, cli.for_reseller, sources.login_names);
  if (cli.hide_mysql) {
    for (TopUser& user : selected) strip_mysql(user);
  }
  return print_document(usage_report(selected, resellers, sources.snapshot.timestamp,
                                     sources.tessel, sources.tessel_mode),
                        kExitSuccess);
}

}  // namespace

int run(int argc, const char* const* argv) {
  // A reader that goes away ends the process quietly.
  std::signal(SIGPIPE, SIG_DFL);

  auto parsed = parse_cli(argc, argv);
  if (!parsed) {
    write_all(STDOUT_FILENO, parsed.error().out);
    write_all(STDERR_FILENO, parsed.error().err);
    return parsed.error().status;
  }
  const Cli& cli = *parsed;
  if (!cli.json) {
    write_all(STDERR_FILENO, "Error: --json flag is required\n");
    return kExitFailure;
  }

  // Access comes first: a refused caller reads and touches nothing.
  const auto caller = identify_caller(caller_facts(), cli.for_reseller);
  if (!caller) {
    return print_document(status_document(caller.error().message, true, epoch_seconds_now()),
                          kExitFailure);
  }
  if (const auto stopped = service_state_message(check_stats_service(kStatsPidPath))) {
    return print_document(status_document(*stopped, false, epoch_seconds_now()), kExitSuccess);
  }
  return report(cli, *caller);
}

}  // namespace vt::cli

#include "cli/driver.h"

#include <unistd.h>

#include <csignal>
#include <string_view>
#include <unordered_set>

#include "base/json_write.h"
#include "base/process.h"
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
#include "core/kob_support.h"
#include "core/tessel_status.h"
#include "core/tsltop.h"
#include "plugins/plexa.h"
#include "plugins/tsl_helper.h"

namespace vt::cli {
namespace {

constexpr const char* kStatsConfigPath = "/etc/sysconfig/kobstats2";

int fail(const base::Error& error) {
  (void)write_all(STDERR_FILENO, format_fatal(error));
  return kExitFailure;
}

// Writes to standard output and ends with `status`; output that could not
// be written fails the run, since the caller never got it.
int print(std::string_view text, int status) {
  if (const auto written = write_all(STDOUT_FILENO, text); !written) {
    return fail({"Failed to write to standard output", {base::os_error_text(written.error())}});
  }
  return status;
}

int print_document(const nlohmann::json& document, int status) {
  return print(base::write_json(document), status);
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

LoginNames login_names_of_accounts(std::uint32_t uid_min) {
  LoginNames names;
  auto users = core::list_login_users(uid_min);
  names.reserve(users.size());
  for (auto& user : users) names[user.uid] = std::move(user.name);
  return names;
}

// Domain and reseller of each remaining account, from the control panel; a
// failed lookup leaves the table empty.
PanelAccounts panel_accounts(const std::vector<TopUser>& users,
                             const std::vector<std::size_t>& positions) {
  std::vector<std::int64_t> uids;
  uids.reserve(positions.size());
  for (const std::size_t i : positions) uids.push_back(users[i].id);
  PanelAccounts panel;
  auto found = plugins::lookup_users(uids);
  if (!found) return panel;
  for (auto& info : found->users) {
    PanelAccount& account = panel[info.uid];
    account.domain = info.domain.empty() ? kNotAvailable : std::move(info.domain);
    account.reseller = info.reseller.empty() ? kNotAvailable : std::move(info.reseller);
  }
  return panel;
}

std::unordered_set<std::string> panel_admins() {
  auto admins = plugins::list_admins();
  if (!admins) return {};
  return {std::make_move_iterator(admins->begin()), std::make_move_iterator(admins->end())};
}

// The report of an accepted caller whose statistics service runs.
int report(const Cli& cli, const CallerIdentity& caller) {
  if (touches_timestamp(caller, cli.for_reseller)) touch_timestamp_file(kTesselTimestampPath);

  Sources sources;
  // A root caller has passed the namespace check: no need to ask again.
  sources.tessel = core::tessel_service_status(core::kTslctlProgram, caller.is_root);
  sources.tessel_mode = core::query_tessel_mode(plugins::kTslHelperPath);
  auto snapshot = load_snapshot(kSnapshotPath, epoch_seconds_now());
  if (!snapshot) return fail(snapshot.error());
  sources.snapshot = std::move(*snapshot);
  const core::StatsConfig config = core::load_stats_config(kStatsConfigPath);

  std::vector<TopUser>& users = sources.snapshot.users;
  const core::LoginRange login_range = core::login_range();
  const auto visible =
      visible_accounts(users, config.use_big_uids, config.hide_kob_more_than_maxuid,
                       login_range.min, login_range.max);
  sources.login_names = login_names_of_accounts(login_range.min);
  sources.panel = panel_accounts(users, visible);
  if (caller.is_root) sources.admins = panel_admins();

  // MySQL figures: the saved ones where they order the report ("mysql_cpu"
  // and "mysql_io") or are merged into it, the live ones and the limits
  // only when they are merged.
  const bool merge = sources.tessel.status == "enabled" && !cli.hide_mysql;
  const SortKey sort_key = sort_key_named(cli.order_by);
  if (merge || sort_key == SortKey::mysql_cpu || sort_key == SortKey::mysql_io) {
    sources.mysql_stats = core::load_tsltop_file();
  }
  if (merge) core::merge_tsltop_command(sources.mysql_stats);

  std::optional<std::vector<std::string>> reseller_users;
  if (cli.for_reseller) {
    if (auto listed = plugins::list_reseller_users(*cli.for_reseller)) {
      reseller_users = std::move(*listed);
    }
  }
  const auto allowed = allowed_names(caller, cli.for_reseller, reseller_users);
  if (merge) {
    auto limits = plugins::query_tsl_limits(mysql_names(users, visible, sources.login_names));
    if (limits) sources.tessel_limits = std::move(*limits);
  }

  const auto order =
      order_users(users, visible, sort_key, sources.mysql_stats, sources.login_names);
  const MysqlMerge mysql{sources.mysql_stats, sources.tessel_limits, sources.tessel_mode};
  const WalkRules rules{.login_names = sources.login_names,
                        .panel = sources.panel,
                        .admins = sources.admins,
                        .allowed = allowed,
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
  // A reader that goes away ends the process quietly. Helper programs are
  // waited for, which an inherited "ignore" for SIGCHLD would prevent.
  std::signal(SIGPIPE, SIG_DFL);
  std::signal(SIGCHLD, SIG_DFL);

  // Where the KOB feature is missing the command does nothing, not even
  // its help.
  if (const auto notice = core::kob_support_notice()) {
    return print(*notice, kExitSuccess);
  }

  auto parsed = parse_cli(argc, argv);
  if (!parsed) {
    const int status = print(parsed.error().out, parsed.error().status);
    (void)write_all(STDERR_FILENO, parsed.error().err);
    return status;
  }
  const Cli& cli = *parsed;
  if (!cli.json) {
    (void)write_all(STDERR_FILENO, "Error: --json flag is required\n");
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

#include "cli/metrics_driver.h"

#include <chrono>
#include <limits>
#include <utility>
#include <vector>

#include "cli/access.h"
#include "cli/assemble.h"
#include "cli/driver.h"
#include "cli/exit_status.h"
#include "cli/metrics_exposition.h"
#include "cli/metrics_options.h"
#include "cli/metrics_selection.h"
#include "cli/metrics_textfile.h"
#include "cli/service_state.h"
#include "core/kob_support.h"

namespace vt::cli {
namespace {

using Clock = std::chrono::steady_clock;

// Root's report without a limit: every account that a root run of
// vorlane-top --json can list.
const Cli kEveryAccount{.json = true, .max = std::numeric_limits<std::uint64_t>::max()};

// The text goes to the file or to standard output.
int emit(const MetricsCli& cli, RunOutcome outcome, ServerFigures server,
         const std::vector<TopUser>& accounts, const std::vector<std::size_t>& exported,
         Clock::time_point start) {
  MetricsRun run;
  run.outcome = outcome;
  run.server = std::move(server);
  run.near_limit_fraction = cli.bounds.near_limit;
  run.duration_seconds = std::chrono::duration<double>(Clock::now() - start).count();
  const std::string text = metrics_text(run, accounts, exported);
  if (!cli.textfile) return exit_printing(text, kExitSuccess);
  if (auto written = write_textfile(*cli.textfile, text); !written) {
    return exit_failure(written.error());
  }
  return kExitSuccess;
}

}  // namespace

int run_metrics(int argc, const char* const* argv) {
  const auto start = Clock::now();
  const Programs programs;
  prepare_signals();

  auto parsed = parse_metrics_cli(argc, argv);
  if (!parsed) return exit_parse(parsed.error());
  const MetricsCli& cli = *parsed;

  const auto caller = identify_caller(caller_facts(), std::nullopt);
  if (!caller || !caller->is_root) {
    return exit_failure({std::string(kMetricsProgramName) + " must be run by root", {}});
  }
  if (core::kob_support_notice(programs.plexa_helper)) {
    return emit(cli, RunOutcome::kob_unsupported, {}, {}, {}, start);
  }
  if (check_stats_service(kStatsPidPath) != ServiceState::running) {
    return emit(cli, RunOutcome::stats_down, {}, {}, {}, start);
  }

  auto sources = touch_and_gather(kEveryAccount, *caller, programs);
  if (!sources) return exit_failure(sources.error());
  const std::vector<TopUser> accounts =
      accepted_accounts(*sources, kEveryAccount, *caller, sources->visible);
  const Selection selection = select_accounts(accounts, cli.bounds);
  ServerFigures server{.accounts = accounts.size(),
                       .near_limit = selection.near_limit,
                       .tessel_state = sources->tessel.status,
                       .tessel_mode = sources->tessel_mode,
                       .snapshot_timestamp = sources->snapshot.timestamp};
  return emit(cli, RunOutcome::report, std::move(server), accounts, selection.exported, start);
}

}  // namespace vt::cli

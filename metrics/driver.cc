#include "metrics/driver.h"

#include <chrono>
#include <optional>
#include <utility>
#include <vector>

#include "command/exit.h"
#include "command/exit_status.h"
#include "core/kob_support.h"
#include "gather/access.h"
#include "gather/failures.h"
#include "gather/service_state.h"
#include "gather/sources.h"
#include "gather/walk.h"
#include "metrics/exposition.h"
#include "metrics/options.h"
#include "metrics/selection.h"
#include "metrics/textfile.h"

namespace vt::metrics {
namespace {

using Clock = std::chrono::steady_clock;
using command::exit_failure;
using command::kExitSuccess;
using gather::Source;

// Root's report without a limit: every account that a root run of
// vorlane-top --json can list.
const gather::Scope kEveryAccount{};

// What a run has found so far: the metrics to write, and why each source
// that failed did.
struct Findings {
  MetricsRun run;
  std::vector<std::string> failures;

  void note(std::string_view source, std::string failure) {
    run.sources.push_back({source, failure.empty()});
    if (!failure.empty()) failures.push_back(std::string(source) + ": " + std::move(failure));
  }
};

std::string flattened(const base::Error& error) {
  std::string text = error.message;
  for (const std::string& cause : error.causes) text += ": " + cause;
  return text;
}

// The text goes to the file or to standard output; a source that failed
// fails the run once the metrics, which say so, are out.
int emit(const MetricsCli& cli, std::optional<gid_t> group, Findings findings,
         const std::vector<gather::TopUser>& accounts, const std::vector<std::size_t>& exported,
         Clock::time_point start) {
  findings.run.duration_seconds = std::chrono::duration<double>(Clock::now() - start).count();
  const std::string text = metrics_text(findings.run, accounts, exported);
  int status = kExitSuccess;
  if (!cli.textfile) {
    status = command::exit_printing(text, kExitSuccess);
  } else if (auto written = write_textfile(*cli.textfile, text, *group); !written) {
    return exit_failure(written.error());
  }
  if (status != kExitSuccess || findings.failures.empty()) return status;
  return exit_failure(
      {"The metrics were written without the sources that failed", std::move(findings.failures)});
}

}  // namespace

int run_metrics(int argc, const char* const* argv) {
  const auto start = Clock::now();
  const gather::Programs programs;
  command::prepare_signals();

  auto parsed = parse_metrics_cli(argc, argv);
  if (!parsed) return command::exit_parse(parsed.error());
  const MetricsCli& cli = *parsed;

  const auto caller = gather::identify_caller(gather::caller_facts(), std::nullopt);
  if (!caller || !caller->is_root) {
    return exit_failure({std::string(kMetricsProgramName) + " must be run by root", {}});
  }
  // Before anything is gathered: a file that cannot be given its group is
  // not written at all.
  std::optional<gid_t> group;
  if (cli.textfile) {
    auto found = textfile_group(cli.group);
    if (!found) {
      found.error().causes.insert(found.error().causes.begin(), found.error().message);
      return exit_failure(
          {"Failed to write the metrics file " + *cli.textfile, std::move(found.error().causes)});
    }
    group = *found;
  }

  Findings findings;
  findings.run.near_limit_fraction = cli.bounds.near_limit;
  findings.run.export_max = export_max(cli.bounds);
  if (core::kob_support_notice(programs.plexa_helper)) {
    findings.run.outcome = RunOutcome::kob_unsupported;
    return emit(cli, group, std::move(findings), {}, {}, start);
  }
  const gather::ServiceState service = gather::check_stats_service(gather::kStatsPidPath);
  findings.note(gather::source_name(Source::stats_service).label,
                gather::service_state_message(service).value_or(""));
  if (service != gather::ServiceState::running) {
    findings.run.outcome = RunOutcome::stats_down;
    return emit(cli, group, std::move(findings), {}, {}, start);
  }

  auto sources = gather::touch_and_gather(kEveryAccount, *caller, programs);
  if (!sources) {
    findings.run.outcome = RunOutcome::snapshot_unusable;
    findings.note(gather::source_name(Source::snapshot).label,
                  gather::failure_seen_by(*caller, {Source::snapshot, flattened(sources.error())}));
    return emit(cli, group, std::move(findings), {}, {}, start);
  }
  bool snapshot_read = true;
  for (gather::SourceOutcome& outcome : sources->consulted) {
    if (outcome.source == Source::snapshot) snapshot_read = outcome.failure.empty();
    findings.note(gather::source_name(outcome.source).label,
                  gather::failure_seen_by(*caller, outcome));
  }
  auto order = gather::snapshot_order(sources->snapshot.users.size());
  const std::vector<gather::TopUser> accounts =
      one_per_uid(gather::accepted_accounts(*sources, kEveryAccount, *caller, order));
  const Selection selection = select_accounts(accounts, cli.bounds);
  findings.run.server = {.snapshot_read = snapshot_read,
                         .accounts = accounts.size(),
                         .near_limit = selection.near_limit,
                         .restricted = selection.restricted,
                         .selected = selection.selected,
                         .tessel_state = sources->tessel.status,
                         .tessel_mode = sources->tessel_mode,
                         .snapshot_timestamp = sources->snapshot.timestamp};
  return emit(cli, group, std::move(findings), accounts, selection.exported, start);
}

}  // namespace vt::metrics

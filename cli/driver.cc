#include "cli/driver.h"

#include <unistd.h>

#include <csignal>
#include <utility>

#include "base/error.h"
#include "base/json_write.h"
#include "cli/assemble.h"
#include "cli/exit_status.h"
#include "cli/output.h"
#include "cli/report.h"
#include "cli/service_state.h"
#include "cli/timestamp_file.h"
#include "core/kob_support.h"

namespace vt::cli {
namespace {

int print_document(const nlohmann::json& document, int status) {
  return exit_printing(base::write_json(document), status);
}

// The report of an accepted caller whose statistics service runs.
int report(const Cli& cli, const CallerIdentity& caller, const Programs& programs) {
  auto sources = touch_and_gather(cli, caller, programs);
  if (!sources) return exit_failure(sources.error());
  return print_document(assemble_report(std::move(*sources), cli, caller), kExitSuccess);
}

}  // namespace

void prepare_signals() {
  // An inherited "ignore" for SIGCHLD would keep helpers from being waited for.
  std::signal(SIGPIPE, SIG_DFL);
  std::signal(SIGCHLD, SIG_DFL);
}

int exit_failure(const base::Error& error) {
  (void)write_all(STDERR_FILENO, format_fatal(error));
  return kExitFailure;
}

int exit_printing(std::string_view text, int status) {
  if (const auto written = write_all(STDOUT_FILENO, text); !written) {
    return exit_failure(
        {"Failed to write to standard output", {base::os_error_text(written.error())}});
  }
  return status;
}

int exit_parse(const ParseExit& parse_exit) {
  const int status = exit_printing(parse_exit.out, parse_exit.status);
  (void)write_all(STDERR_FILENO, parse_exit.err);
  return status;
}

std::expected<Sources, base::Error> touch_and_gather(const Cli& cli, const CallerIdentity& caller,
                                                     const Programs& programs) {
  if (touches_timestamp(caller, cli.for_reseller)) touch_timestamp_file(kTesselTimestampPath);
  return gather_sources(cli, caller, programs);
}

int run(int argc, const char* const* argv) {
  const Programs programs;
  prepare_signals();

  // Where the KOB feature is missing the command does nothing, not even
  // its help.
  if (const auto notice = core::kob_support_notice(programs.plexa_helper)) {
    return exit_printing(*notice, kExitSuccess);
  }

  auto parsed = parse_cli(argc, argv);
  if (!parsed) return exit_parse(parsed.error());
  const Cli& cli = *parsed;
  if (!cli.json) {
    (void)write_all(STDERR_FILENO, "Error: --json flag is required\n");
    return kExitFailure;
  }

  // Access comes first: a refused caller reads and touches nothing.
  const auto caller = identify_caller(caller_facts(), cli.for_reseller);
  if (!caller) {
    return print_document(
        status_document(caller.error().message, StatusContext::empty_object, epoch_seconds_now()),
        kExitFailure);
  }
  if (const auto stopped = service_state_message(check_stats_service(kStatsPidPath))) {
    return print_document(status_document(*stopped, StatusContext::omitted, epoch_seconds_now()),
                          kExitSuccess);
  }
  return report(cli, *caller, programs);
}

}  // namespace vt::cli

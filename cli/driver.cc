#include "cli/driver.h"

#include <unistd.h>

#include <csignal>
#include <string_view>

#include "base/json_write.h"
#include "base/process.h"
#include "cli/access.h"
#include "cli/assemble.h"
#include "cli/exit_status.h"
#include "cli/options.h"
#include "cli/output.h"
#include "cli/report.h"
#include "cli/service_state.h"
#include "cli/sources.h"
#include "cli/timestamp_file.h"
#include "core/kob_support.h"

namespace vt::cli {
namespace {

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

// The report of an accepted caller whose statistics service runs.
int report(const Cli& cli, const CallerIdentity& caller, const Programs& programs) {
  if (touches_timestamp(caller, cli.for_reseller)) touch_timestamp_file(kTesselTimestampPath);
  auto sources = gather_sources(cli, caller, programs);
  if (!sources) return fail(sources.error());
  return print_document(assemble_report(*sources, cli, caller), kExitSuccess);
}

}  // namespace

int run(int argc, const char* const* argv) {
  const Programs programs;
  // A reader that goes away ends the process quietly. Helper programs are
  // waited for, which an inherited "ignore" for SIGCHLD would prevent.
  std::signal(SIGPIPE, SIG_DFL);
  std::signal(SIGCHLD, SIG_DFL);

  // Where the KOB feature is missing the command does nothing, not even
  // its help.
  if (const auto notice = core::kob_support_notice(programs.plexa_helper)) {
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
  return report(cli, *caller, programs);
}

}  // namespace vt::cli

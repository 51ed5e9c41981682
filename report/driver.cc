#include "report/driver.h"

#include <unistd.h>

#include <cstdlib>

#include "base/json_write.h"
#include "command/exit.h"
#include "command/exit_status.h"
#include "command/output.h"
#include "core/kob_support.h"
#include "gather/access.h"
#include "gather/service_state.h"
#include "gather/snapshot.h"
#include "gather/sources.h"
#include "report/assemble.h"
#include "report/document.h"
#include "report/options.h"

namespace vt::report {
namespace {

using command::exit_printing;
using command::kExitFailure;
using command::kExitSuccess;

int print_document(const nlohmann::json& document, int status) {
  return exit_printing(base::write_json(document), status);
}

// The report of an accepted caller whose statistics service runs.
int report(const Cli& cli, const gather::CallerIdentity& caller, const gather::Programs& programs) {
  auto sources = gather::touch_and_gather(scope_of(cli), caller, programs);
  if (!sources) return command::exit_failure(sources.error());
  const int status = print_document(assemble_report(*sources, cli, caller), kExitSuccess);
  // The run is over: the process hands its memory back at once, where
  // freeing root's 100,000 records one by one took 4 % of the run.
  std::exit(status);
}

}  // namespace

int run(int argc, const char* const* argv) {
  const gather::Programs programs;
  command::prepare_signals();

  // Where the KOB feature is missing the command does nothing, not even
  // its help.
  if (const auto notice = core::kob_support_notice(programs.plexa_helper)) {
    return exit_printing(*notice, kExitSuccess);
  }

  auto parsed = parse_cli(argc, argv);
  if (!parsed) return command::exit_parse(parsed.error());
  const Cli& cli = *parsed;
  if (!cli.json) {
    (void)command::write_all(STDERR_FILENO, "Error: --json flag is required\n");
    return kExitFailure;
  }

  // Access comes first: a refused caller reads and touches nothing.
  const auto caller = gather::identify_caller(gather::caller_facts(), cli.for_reseller);
  if (!caller) {
    return print_document(status_document(caller.error().message, StatusContext::empty_object,
                                          gather::epoch_seconds_now()),
                          kExitFailure);
  }
  if (const auto stopped =
          gather::service_state_message(gather::check_stats_service(gather::kStatsPidPath))) {
    return print_document(
        status_document(*stopped, StatusContext::omitted, gather::epoch_seconds_now()),
        kExitSuccess);
  }
  return report(cli, *caller, programs);
}

}  // namespace vt::report

#include "live/driver.h"

#include <malloc.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <clocale>
#include <csignal>
#include <cstdlib>
#include <thread>

#include "base/process.h"
#include "command/exit.h"
#include "command/exit_status.h"
#include "command/output.h"
#include "core/config.h"
#include "core/kob_support.h"
#include "gather/access.h"
#include "gather/selection.h"
#include "gather/sources.h"
#include "live/batch.h"
#include "live/options.h"
#include "live/refresher.h"
#include "live/screen.h"

namespace vt::live {
namespace {

using command::kExitFailure;
using command::kExitSuccess;

int run_batch(Refresher& refresher, std::uint64_t iterations, double delay) {
  for (std::uint64_t i = 1; i <= iterations; ++i) {
    if (i > 1) std::this_thread::sleep_for(std::chrono::duration<double>(delay));
    refresher.step(i == 1);
    const std::string table = batch_table(refresher.shown(), i, epoch_now());
    if (const int status =
            command::exit_printing(table + (i < iterations ? "\n" : ""), kExitSuccess);
        status != kExitSuccess) {
      return status;
    }
  }
  return kExitSuccess;
}

// The view's thread takes the helpers' ends and leaves the signals that end
// the process to the screen, which gives the terminal back first; then the
// helpers of a refresh under way are killed, and the process ends as the
// signal would have ended it.
int run_screen(Refresher& refresher, const ViewSettings& settings) {
  // The terminal's size comes from the terminal, never from LINES and
  // COLUMNS that a shell exported for another size, which ncurses would
  // prefer even after a resize. Gone before the thread starts, which
  // reads the environment for its helpers.
  ::unsetenv("LINES");
  ::unsetenv("COLUMNS");
  auto terminal = open_terminal();
  if (!terminal) return command::exit_failure({"The live view cannot start", {terminal.error()}});
  sigset_t signals;
  sigemptyset(&signals);
  for (const int signal : base::ending_signals()) sigaddset(&signals, signal);
  sigaddset(&signals, SIGWINCH);
  sigaddset(&signals, SIGCHLD);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  refresher.start(settings.delay);
  sigdelset(&signals, SIGCHLD);
  catch_ending_signals();
  pthread_sigmask(SIG_UNBLOCK, &signals, nullptr);

  const ViewEnd end = run_view(refresher, settings, *terminal);
  base::end_programs();
  refresher.stop();
  if (end.signal != 0) {
    std::signal(end.signal, SIG_DFL);
    ::raise(end.signal);
  }
  return kExitSuccess;
}

}  // namespace

int run_live(int argc, const char* const* argv) {
  // Each refresh allocates and frees the same large blocks again; kept out
  // of the heap, they go back to the system whole, and the view's memory
  // stays flat over hours of refreshes instead of fragmenting the heap.
  mallopt(M_MMAP_THRESHOLD, 128 * 1024);
  std::setlocale(LC_ALL, "");
  const gather::Programs programs;
  command::prepare_signals();

  auto parsed = parse_live_cli(argc, argv);
  if (!parsed) return command::exit_parse(parsed.error());
  const LiveCli& cli = *parsed;

  if (const auto notice = core::kob_support_notice(programs.plexa_helper)) {
    return command::exit_printing(*notice, kExitSuccess);
  }
  const auto caller = gather::identify_caller(gather::caller_facts(), cli.for_reseller);
  if (!caller) return command::exit_failure({caller.error().message, {}});

  RefreshSettings settings{.scope = {.for_reseller = cli.for_reseller,
                                     .username = cli.username,
                                     .domain = cli.domain,
                                     .order = gather::sort_key_named(cli.order_by),
                                     .keep_domains = true,
                                     .with_mysql = !cli.hide_mysql},
                           .caller = *caller,
                           .programs = programs,
                           .hide_mysql = cli.hide_mysql};
  const double delay = cli.delay.value_or(
      static_cast<double>(core::load_stats_config(gather::kStatsConfigPath).interval));
  Refresher refresher(std::move(settings));

  const bool batch = cli.batch || !isatty(STDOUT_FILENO);
  if (batch) return run_batch(refresher, cli.iterations.value_or(1), delay);
  return run_screen(refresher, {.root = caller->is_root,
                                .mysql = !cli.hide_mysql,
                                .first_sort = column_named(cli.order_by),
                                .delay = delay,
                                .iterations = cli.iterations});
}

}  // namespace vt::live

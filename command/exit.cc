#include "command/exit.h"

#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <exception>

#include "base/error.h"
#include "base/process.h"
#include "command/exit_status.h"
#include "command/output.h"

namespace vt::command {

namespace {

std::terminate_handler g_terminate = nullptr;

// A run that ends by an exception nobody caught kills its helpers first.
[[noreturn]] void end_programs_and_terminate() {
  base::end_programs();
  if (g_terminate != nullptr) g_terminate();
  std::abort();
}

}  // namespace

void prepare_signals() {
  // An inherited "ignore" for SIGCHLD would keep helpers from being waited for.
  std::signal(SIGPIPE, SIG_DFL);
  std::signal(SIGCHLD, SIG_DFL);
  g_terminate = std::set_terminate(end_programs_and_terminate);
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

}  // namespace vt::command

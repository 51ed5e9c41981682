#include "command/exit.h"

#include <unistd.h>

#include <csignal>

#include "base/error.h"
#include "command/exit_status.h"
#include "command/output.h"

namespace vt::command {

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

}  // namespace vt::command

#pragma once
// How the commands' drivers end a run: the signal handling every run needs,
// and the writing that goes with each exit status. Only the drivers call
// these.
#include <string_view>

#include "base/error.h"
#include "command/command_line.h"

namespace vt::command {

/// Sets the signal handling a run needs: a reader that goes away ends the
/// process quietly, and helper programs can be waited for; an exception
/// that nobody catches kills the helpers under way before the process ends.
void prepare_signals();

/// Writes "Error: ..." (format_fatal) to standard error; gives kExitFailure.
int exit_failure(const base::Error& error);

/// Writes `text` to standard output and gives `status`; output that could
/// not be written fails the run, since the caller never got it.
int exit_printing(std::string_view text, int status);

/// Prints help, version or a usage error and gives the parse's status.
int exit_parse(const ParseExit& parse_exit);

}  // namespace vt::command

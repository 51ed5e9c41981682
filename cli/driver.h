#pragma once
// The whole run of the command, from the argument list to the exit status,
// and the steps that the project's other command shares with it.
#include <expected>
#include <string_view>

#include "base/error.h"
#include "cli/access.h"
#include "cli/options.h"
#include "cli/sources.h"

namespace vt::cli {

/// Runs the command; returns the process's exit status.
int run(int argc, const char* const* argv);

/// Sets the signal handling a run needs: a reader that goes away ends the
/// process quietly, and helper programs can be waited for.
void prepare_signals();

/// Writes "Error: ..." (format_fatal) to standard error; gives kExitFailure.
int exit_failure(const base::Error& error);

/// Writes `text` to standard output and gives `status`; output that could
/// not be written fails the run, since the caller never got it.
int exit_printing(std::string_view text, int status);

/// Prints help, version or a usage error and gives the parse's status.
int exit_parse(const ParseExit& parse_exit);

/// The sources of `caller`'s report, after the time-stamp touch that
/// privileged runs make.
std::expected<Sources, base::Error> touch_and_gather(const Cli& cli, const CallerIdentity& caller,
                                                     const Programs& programs);

}  // namespace vt::cli

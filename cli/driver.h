#pragma once
// The whole run of the command, from the argument list to the exit status.

namespace vt::cli {

/// Runs the command; returns the process's exit status.
int run(int argc, const char* const* argv);

}  // namespace vt::cli

#pragma once
// The whole run of vorlane-top, from the argument list to the exit status.

namespace vt::report {

/// Runs the command; returns the process's exit status.
int run(int argc, const char* const* argv);

}  // namespace vt::report

#pragma once
// The whole run of vorlane-top-live, from the argument list to the exit
// status.

namespace vt::live {

/// Runs the live view; returns the process's exit status.
int run_live(int argc, const char* const* argv);

}  // namespace vt::live

#pragma once
// The whole run of vorlane-top-metrics, from the argument list to the exit
// status.

namespace vt::metrics {

/// Runs the metrics command; returns the process's exit status.
int run_metrics(int argc, const char* const* argv);

}  // namespace vt::metrics

#pragma once
// The metrics as Prometheus text exposition (format 0.0.4): every metric a
// gauge with HELP and TYPE before its samples, no timestamps.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "cli/metrics_figures.h"
#include "cli/snapshot.h"

namespace vt::cli {

/// `value` as UTF-8 text (invalid sequences replaced) with backslash,
/// double quote and line feed escaped as \\, \" and \n.
std::string escape_label_value(std::string_view value);

/// How far a run got.
enum class RunOutcome {
  kob_unsupported,  ///< the KOB check failed: nothing else was looked at
  stats_down,       ///< the statistics service is stopped or dead
  report,           ///< the accounts were gathered
};

/// What a report says of the server as a whole; every account counts.
struct ServerFigures {
  std::uint64_t accounts = 0;
  std::array<std::uint64_t, kLimitFigureCount> near_limit{};
  std::string tessel_state;  ///< "enabled", "disabled" or "error"
  std::string tessel_mode;
  double snapshot_timestamp = 0.0;
};

struct MetricsRun {
  RunOutcome outcome = RunOutcome::report;
  ServerFigures server;  ///< with a report only
  double near_limit_fraction = 0.9;
  double duration_seconds = 0.0;
};

/// The text of the metrics file: the server's metrics, then those of the
/// accounts at `exported` (positions in `accounts`, in that order). A
/// metric without samples is left out, HELP and TYPE too.
std::string metrics_text(const MetricsRun& run, const std::vector<TopUser>& accounts,
                         const std::vector<std::size_t>& exported);

}  // namespace vt::cli

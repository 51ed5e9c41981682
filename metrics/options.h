#pragma once
// The command line of vorlane-top-metrics.
#include <expected>
#include <optional>
#include <string>

#include "command/command_line.h"
#include "metrics/selection.h"

namespace vt::metrics {

inline constexpr const char* kMetricsProgramName = "vorlane-top-metrics";

/// The group that node_exporter runs as in Debian's package.
inline constexpr const char* kDefaultTextfileGroup = "prometheus";

struct MetricsCli {
  std::optional<std::string> textfile;        ///< nothing: standard output
  std::string group = kDefaultTextfileGroup;  ///< the metrics file's group
  SelectionBounds bounds;
};

/// Parses the process's argument list; argv[0] is the program path.
std::expected<MetricsCli, command::ParseExit> parse_metrics_cli(int argc, const char* const* argv);

}  // namespace vt::metrics

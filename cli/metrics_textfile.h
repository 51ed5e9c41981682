#pragma once
// Writing the metrics file so that a reader sees the old file or the new
// one, whole, and never a part.
#include <expected>
#include <string>
#include <string_view>

#include "base/error.h"

namespace vt::cli {

/// The default path of the metrics file: the textfile collector's directory.
inline constexpr const char* kDefaultTextfilePath =
    "/var/lib/prometheus/node-exporter/vorlane-top.prom";

/// Temporary files are named `.vorlane-top-metrics.PID.tmp`, in the metrics
/// file's directory; the collector reads only names ending in ".prom".
inline constexpr std::string_view kTemporaryPrefix = ".vorlane-top-metrics.";
inline constexpr std::string_view kTemporarySuffix = ".tmp";

/// Whether `name` is one of those temporary files' names: the prefix, a
/// decimal process id, the suffix.
bool is_temporary_name(std::string_view name);

/// Writes `text` to `path` through a temporary file in the same directory:
/// temporary files that killed runs left there are removed first (a run
/// still writing holds a lock on its own); the new one is written whole,
/// synced, given mode 0644 and renamed over `path`.
/// On failure the temporary file is removed and `path` stays as it was;
/// the error is "Failed to write the metrics file PATH", with the step and
/// the system's error as causes.
std::expected<void, base::Error> write_textfile(const std::string& path, std::string_view text);

}  // namespace vt::cli

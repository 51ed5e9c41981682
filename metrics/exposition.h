#pragma once
// The metrics as Prometheus text exposition (format 0.0.4): every metric a
// gauge with HELP and TYPE before its samples, no timestamps.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "gather/figures.h"
#include "gather/snapshot.h"

namespace vt::metrics {

/// The longest label values, in bytes of UTF-8: names that come from the
/// customers or the panel (users, resellers, the tessel mode), and domains
/// (the longest DNS name). One customer's text can neither bloat the file
/// nor make a scraper that bounds label lengths drop it.
inline constexpr std::size_t kNameLabelBytes = 64;
inline constexpr std::size_t kDomainLabelBytes = 253;

/// `value` as a label value: made safe (base::safe_text: invalid UTF-8,
/// controls, bidirectional and other invisible characters replaced by
/// U+FFFD), cut to at most `max_bytes` bytes at a character boundary (a
/// cut one ends in "~" and 8 hexadecimal digits of the whole value's
/// FNV-1a hash where `max_bytes` leaves room, so that values that share
/// their beginning stay apart),
/// then backslash and double quote escaped as \\ and \".
std::string escape_label_value(std::string_view value, std::size_t max_bytes);

/// How far a run got.
enum class RunOutcome {
  kob_unsupported,    ///< the KOB check failed: nothing else was looked at
  stats_down,         ///< the statistics service is stopped or dead
  snapshot_unusable,  ///< the snapshot cannot be decoded: the gathering stopped
  report,             ///< the accounts were gathered
};

/// What a report says of the server as a whole; every account counts.
struct ServerFigures {
  bool snapshot_read = true;  ///< false: the figures below the tessel's are unknown
  std::uint64_t accounts = 0;
  std::array<std::uint64_t, gather::kUsageCount> near_limit{};
  std::uint64_t restricted = 0;  ///< accounts restricted in MySQL
  std::uint64_t selected = 0;    ///< accounts the selection chose before the cap
  std::string tessel_state;      ///< "enabled", "disabled" or "error"
  std::string tessel_mode;
  double snapshot_timestamp = 0.0;
};

/// Whether one input of the run answered, as vorlane_source_up says it.
struct SourceUp {
  std::string_view source;
  bool up = true;
};

struct MetricsRun {
  RunOutcome outcome = RunOutcome::report;
  ServerFigures server;           ///< with a report only
  std::vector<SourceUp> sources;  ///< those the run consulted, in its order
  double near_limit_fraction = 0.9;
  std::uint64_t export_max = 300;
  double duration_seconds = 0.0;
};

/// The text of the metrics file: the server's metrics, then those of the
/// accounts at `exported` (positions in `accounts`, in that order). A
/// metric without samples is left out, HELP and TYPE too.
std::string metrics_text(const MetricsRun& run, const std::vector<gather::TopUser>& accounts,
                         const std::vector<std::size_t>& exported);

}  // namespace vt::metrics

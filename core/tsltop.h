#pragma once
// MySQL figures of each account, from the tessel service's statistics: the
// snapshot file the statistics service saves, and the live output of the
// service's statistics tool merged over it.
#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace vt::core {

inline constexpr const char* kTsltopSnapshotPath = "/var/kob/vorlane_tsltop.json";
inline constexpr const char* kTsltopProgram = "/usr/sbin/tsltop";

struct DbTslStats {
  double cpu = 0.0;
  double io = 0.0;
  std::string cause_of_restrict = "-";
  std::int64_t time_of_restrict = 0;
};

/// Account name to its MySQL figures.
using DbTslStatsByName = std::unordered_map<std::string, DbTslStats>;

/// The per-account figures of the snapshot file at `path`: the members of
/// its "dbtsl_data" object; or why there are none: the file cannot be read,
/// is not UTF-8 or is not such a document (a member given twice or as null,
/// a fractional "time_of_restrict", anything after the JSON value).
std::expected<DbTslStatsByName, std::string> load_tsltop_file(const std::string& path);

/// Runs `program` with "-c" (no time limit) and merges its output into
/// `stats` with `merge_tsltop_output`. A program that cannot be started,
/// is killed or exits with a status other than 0 leaves `stats` unchanged,
/// and gives the system's error or its wait status.
std::expected<void, std::string> merge_tsltop_command(DbTslStatsByName& stats,
                                                      const std::string& program);

/// Merges the statistics tool's output (raw bytes; invalid UTF-8 is
/// replaced) into `stats`. The first line is a header; every further line
/// with at least five white-space separated fields (user, cpu, read, write,
/// restriction) gives one account's figures. An account missing from
/// `stats` is added with zero figures first; its entry then takes all four
/// new values when the new CPU or the new I/O figure is greater than its own.
void merge_tsltop_output(DbTslStatsByName& stats, std::string_view output);

/// A decimal floating-point number: an optional sign, digits with an
/// optional fraction and an optional exponent, or inf, infinity or nan in
/// any case, and nothing else. Values beyond the range of a double round to
/// infinity or zero.
std::optional<double> parse_float(std::string_view text);

/// One part of a read or write field: the number itself, or a number
/// followed by a unit K, M or G (either case, powers of 1024). Anything else
/// is 0.
double parse_size_value(std::string_view text);

struct RestrictionToken {
  std::string cause = "-";  ///< "-", "cpu", "read", "write" or "unknown"
  std::int64_t time = 0;

  bool operator==(const RestrictionToken&) const = default;
};

/// The restriction field: "-" is no restriction; otherwise the cause is the
/// first of cpu, read and write found in it (or "unknown"), and the time is
/// the signed decimal after its last "/" (the whole field without one), or 0.
RestrictionToken parse_restriction_token(std::string_view text);

}  // namespace vt::core

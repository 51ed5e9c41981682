#pragma once
// The statistics configuration ("/etc/sysconfig/kobstats2"): key=value lines
// shared with the statistics service, read into one record with a default
// for every field. Every key is parsed, though the commands read three fields
// (the gathering the uid range's two, the live view the interval), because a
// configuration is taken whole or not at all: a value that does not convert
// leaves every field at its default.
#include <cstdint>
#include <expected>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace vt::core {

enum class DbType { sqlite, mysql, postgresql };

struct StatsConfig {
  std::string connect_string = "localhost/kobstats2";
  std::string db_name = "kobstats2";
  std::string sqlite_db_path = "/var/kob/kobstats2.db";
  std::string server_id = "localhost";  ///< at most 255 characters
  std::string plugins = "/usr/share/kob-stats/plugins";
  std::string mode = "v1";
  std::string tessel_mode = "none";
  std::string log_level = "info";  ///< "trace", "debug", "info", "warn" or "error"
  std::string env = "production";
  DbType db_type = DbType::sqlite;
  std::uint64_t db_timeout = 60;
  std::uint64_t timeout = 5;              ///< > 0
  std::uint64_t interval = 5;             ///< > 0
  std::uint64_t aggregation_period = 60;  ///< > 0
  std::int64_t period_between_incidents = 300;
  std::int64_t max_snapshots_per_incident = 10;
  std::int64_t snapshots_per_minute = 2;  ///< >= 1
  std::uint32_t keep_history_days = 30;
  std::optional<std::uint32_t> keep_history_days_domain;
  std::int32_t compresslevel = 1;  ///< 1 to 9
  bool collect_usernames = false;
  bool normalized_user_cpu = true;
  bool use_big_uids = false;
  bool hide_kob_more_than_maxuid = true;
  bool disable_mysql_snapshots = false;
  bool disable_snapshots = false;
  std::optional<bool> litespeed;  ///< on, off or not set
  /// Every accepted key with its trimmed, unconverted value; the last line wins.
  std::map<std::string, std::string> raw_values;

  bool operator==(const StatsConfig&) const = default;
};

struct ConfigError {
  std::string message;
};

/// Every field at its default, `raw_values` empty.
StatsConfig default_stats_config();

/// The configuration in `text` (the whole file). The first value that does not
/// convert is the error; then interval, timeout and aggregation_period must
/// be > 0. An unknown log level is no error: it keeps the level and emits a
/// warning diagnostic (target "kobstats_core::config").
std::expected<StatsConfig, ConfigError> parse_stats_config(std::string_view text);

/// The configuration in the file at `path`, or the defaults when the file
/// cannot be read, is not UTF-8 or does not parse: it is used whole or not at all.
StatsConfig load_stats_config(const std::string& path);

}  // namespace vt::core

#include "core/config.h"

#include <algorithm>
#include <array>
#include <limits>
#include <type_traits>
#include <utility>

#include "base/file.h"
#include "base/text.h"
#include "base/utf8.h"
#include "core/config_values.h"
#include "core/diagnostics.h"

namespace vt::core {
namespace {

constexpr std::string_view kTarget = "kobstats_core::config";
constexpr std::size_t kServerIdCharacters = 255;

using Applied = std::expected<void, ConfigError>;
/// Converts `value` of the known key `key` into its field.
using Setter = Applied (*)(StatsConfig&, std::string_view key, std::string_view value);

template <typename T>
struct Unwrap {
  using type = T;
};
template <typename T>
struct Unwrap<std::optional<T>> {
  using type = T;
};
/// The integer type behind a field, also when the field is optional.
template <auto Member>
using IntegerOf =
    typename Unwrap<std::remove_cvref_t<decltype(std::declval<StatsConfig&>().*Member)>>::type;

std::unexpected<ConfigError> failure(std::string_view prefix, std::string_view value) {
  return std::unexpected(ConfigError{std::string(prefix) + std::string(value)});
}

template <auto Member>
Applied set_text(StatsConfig& config, std::string_view, std::string_view value) {
  config.*Member = std::string(value);
  return {};
}

Applied set_sqlite_db_path(StatsConfig& config, std::string_view, std::string_view value) {
  if (!value.empty()) config.sqlite_db_path = std::string(value);
  return {};
}

Applied set_server_id(StatsConfig& config, std::string_view, std::string_view value) {
  config.server_id = std::string(first_characters(value, kServerIdCharacters));
  return {};
}

Applied set_log_level(StatsConfig& config, std::string_view, std::string_view value) {
  if (auto level = level_word(value)) {
    config.log_level = std::move(*level);
  } else {
    emit_diagnostic({DiagnosticLevel::warn, kTarget,
                     "Unknown log_level '" + std::string(value) + "', using default 'info'"});
  }
  return {};
}

Applied set_db_type(StatsConfig& config, std::string_view, std::string_view value) {
  const auto type = db_type(value);
  if (!type) return failure("Unknown db_type: ", value);
  config.db_type = *type;
  return {};
}

Applied set_litespeed(StatsConfig& config, std::string_view, std::string_view value) {
  config.litespeed = switch_state(value);
  return {};
}

/// An integer field; values outside [Low, High] are moved to the nearer end.
template <auto Member, IntegerOf<Member> Low = std::numeric_limits<IntegerOf<Member>>::min(),
          IntegerOf<Member> High = std::numeric_limits<IntegerOf<Member>>::max()>
Applied set_integer(StatsConfig& config, std::string_view key, std::string_view value) {
  const auto number = base::parse_decimal<IntegerOf<Member>>(value);
  if (!number) return failure("Invalid " + std::string(key) + ": ", value);
  config.*Member = std::clamp(*number, Low, High);
  return {};
}

template <auto Member, bool (*Convert)(std::string_view)>
Applied set_flag(StatsConfig& config, std::string_view, std::string_view value) {
  config.*Member = Convert(value);
  return {};
}

struct Key {
  std::string_view name;
  Setter set;
};

using C = StatsConfig;
constexpr std::array kKeys = {
    Key{"connect_string", set_text<&C::connect_string>},
    Key{"db_name", set_text<&C::db_name>},
    Key{"sqlite_db_path", set_sqlite_db_path},
    Key{"db_path", set_sqlite_db_path},
    Key{"server_id", set_server_id},
    Key{"plugins", set_text<&C::plugins>},
    Key{"mode", set_text<&C::mode>},
    Key{"tessel_mode", set_text<&C::tessel_mode>},
    Key{"env", set_text<&C::env>},
    Key{"log_level", set_log_level},
    Key{"logging", set_log_level},
    Key{"logging_level", set_log_level},
    Key{"db_type", set_db_type},
    Key{"db_timeout", set_integer<&C::db_timeout>},
    Key{"timeout", set_integer<&C::timeout>},
    Key{"interval", set_integer<&C::interval>},
    Key{"aggregation_period", set_integer<&C::aggregation_period>},
    Key{"keep_history_days", set_integer<&C::keep_history_days>},
    Key{"keep_history_days_domain", set_integer<&C::keep_history_days_domain>},
    Key{"compresslevel", set_integer<&C::compresslevel, 1, 9>},
    Key{"period_between_incidents", set_integer<&C::period_between_incidents>},
    Key{"max_snapshots_per_incident", set_integer<&C::max_snapshots_per_incident>},
    Key{"snapshots_per_minute", set_integer<&C::snapshots_per_minute, 1>},
    Key{"collect_usernames", set_flag<&C::collect_usernames, true_if_yes>},
    Key{"use_big_uids", set_flag<&C::use_big_uids, true_if_yes>},
    Key{"disable_mysql_snapshots", set_flag<&C::disable_mysql_snapshots, true_if_yes>},
    Key{"disable_snapshots", set_flag<&C::disable_snapshots, true_if_yes>},
    Key{"normalized_user_cpu", set_flag<&C::normalized_user_cpu, true_unless_no>},
    Key{"hide_kob_more_than_maxuid", set_flag<&C::hide_kob_more_than_maxuid, true_unless_off>},
    Key{"litespeed", set_litespeed},
};

/// The setter of a known key (compared case-sensitively), or null.
Setter setter_for(std::string_view key) {
  const auto* found = std::ranges::find(kKeys, key, &Key::name);
  return found == kKeys.end() ? nullptr : found->set;
}

std::expected<StatsConfig, ConfigError> validate(StatsConfig config) {
  const std::pair<std::string_view, std::uint64_t> positive[] = {
      {"interval", config.interval},
      {"timeout", config.timeout},
      {"aggregation_period", config.aggregation_period},
  };
  for (const auto& [name, value] : positive) {
    if (value == 0) return std::unexpected(ConfigError{std::string(name) + " must be > 0 (got 0)"});
  }
  return config;
}

}  // namespace

StatsConfig default_stats_config() {
  return StatsConfig{};
}

std::expected<StatsConfig, ConfigError> parse_stats_config(std::string_view text) {
  StatsConfig config = default_stats_config();
  for (std::string_view line : base::split_lines(text)) {
    line = base::trim(line);
    // Comments and section headers; sections do not scope the keys after them.
    if (line.empty() || line.front() == '#' || line.front() == ';' || line.front() == '[') {
      continue;
    }
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    const std::string_view key = base::trim(line.substr(0, equals));
    const std::string_view value = base::trim(line.substr(equals + 1));
    config.raw_values.insert_or_assign(std::string(key), std::string(value));
    if (const Setter set = setter_for(key)) {
      if (auto applied = set(config, key, value); !applied) {
        return std::unexpected(std::move(applied.error()));
      }
    }
  }
  return validate(std::move(config));
}

StatsConfig load_stats_config(const std::string& path) {
  const auto text = base::read_file(path, base::kSmallFileMaxBytes);
  if (!text || !base::is_utf8(*text)) return default_stats_config();
  auto config = parse_stats_config(*text);
  return config ? std::move(*config) : default_stats_config();
}

}  // namespace vt::core

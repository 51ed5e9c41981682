#include "core/config.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "base/case.h"
#include "core/diagnostics.h"
#include "temp_dir.h"

namespace vt::core {

// Field by field, so that a failed comparison shows which field differs.
void PrintTo(const StatsConfig& c, std::ostream* os) {
  auto opt = [](const auto& v) { return v ? std::to_string(*v) : std::string("unset"); };
  *os << "{connect_string=" << c.connect_string << " db_name=" << c.db_name
      << " sqlite_db_path=" << c.sqlite_db_path << " server_id=" << c.server_id
      << " plugins=" << c.plugins << " mode=" << c.mode << " tessel_mode=" << c.tessel_mode
      << " log_level=" << c.log_level << " env=" << c.env
      << " db_type=" << static_cast<int>(c.db_type) << " db_timeout=" << c.db_timeout
      << " timeout=" << c.timeout << " interval=" << c.interval
      << " aggregation_period=" << c.aggregation_period
      << " period_between_incidents=" << c.period_between_incidents
      << " max_snapshots_per_incident=" << c.max_snapshots_per_incident
      << " snapshots_per_minute=" << c.snapshots_per_minute
      << " keep_history_days=" << c.keep_history_days
      << " keep_history_days_domain=" << opt(c.keep_history_days_domain)
      << " compresslevel=" << c.compresslevel << " collect_usernames=" << c.collect_usernames
      << " normalized_user_cpu=" << c.normalized_user_cpu << " use_big_uids=" << c.use_big_uids
      << " hide_kob_more_than_maxuid=" << c.hide_kob_more_than_maxuid
      << " disable_mysql_snapshots=" << c.disable_mysql_snapshots
      << " disable_snapshots=" << c.disable_snapshots << " litespeed=" << opt(c.litespeed)
      << " raw_values=" << testing::PrintToString(c.raw_values) << "}";
}

namespace {

using Raw = std::map<std::string, std::string>;

TEST(StatsConfigDefaults, EveryField) {
  const StatsConfig c = default_stats_config();
  EXPECT_EQ(c.connect_string, "localhost/kobstats2");
  EXPECT_EQ(c.db_name, "kobstats2");
  EXPECT_EQ(c.sqlite_db_path, "/var/kob/kobstats2.db");
  EXPECT_EQ(c.server_id, "localhost");
  EXPECT_EQ(c.plugins, "/usr/share/kob-stats/plugins");
  EXPECT_EQ(c.mode, "v1");
  EXPECT_EQ(c.tessel_mode, "none");
  EXPECT_EQ(c.log_level, "info");
  EXPECT_EQ(c.env, "production");
  EXPECT_EQ(c.db_type, DbType::sqlite);
  EXPECT_EQ(c.db_timeout, 60u);
  EXPECT_EQ(c.timeout, 5u);
  EXPECT_EQ(c.interval, 5u);
  EXPECT_EQ(c.aggregation_period, 60u);
  EXPECT_EQ(c.period_between_incidents, 300);
  EXPECT_EQ(c.max_snapshots_per_incident, 10);
  EXPECT_EQ(c.snapshots_per_minute, 2);
  EXPECT_EQ(c.keep_history_days, 30u);
  EXPECT_EQ(c.keep_history_days_domain, std::nullopt);
  EXPECT_EQ(c.compresslevel, 1);
  EXPECT_FALSE(c.collect_usernames);
  EXPECT_TRUE(c.normalized_user_cpu);
  EXPECT_FALSE(c.use_big_uids);
  EXPECT_TRUE(c.hide_kob_more_than_maxuid);
  EXPECT_FALSE(c.disable_mysql_snapshots);
  EXPECT_FALSE(c.disable_snapshots);
  EXPECT_EQ(c.litespeed, std::nullopt);
  EXPECT_TRUE(c.raw_values.empty());
}

std::string repeat(const std::string& piece, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += piece;
  return out;
}

struct ParseCase {
  std::string text;
  std::function<void(StatsConfig&)> change;  // applied to the defaults
};

TEST(ParseStatsConfig, ConvertsEachKey) {
  using C = StatsConfig;
  const std::string e_acute = "\xc3\xa9";
  const std::vector<ParseCase> cases = {
      {"", [](C&) {}},
      {"# only\n; comments\n[and sections]\n\n  \t\n", [](C&) {}},
      {"connect_string=", [](C& c) { c.connect_string = ""; }},
      {"connect_string = db.example/stats", [](C& c) { c.connect_string = "db.example/stats"; }},
      {"db_name=other", [](C& c) { c.db_name = "other"; }},
      {"sqlite_db_path=/tmp/a.db", [](C& c) { c.sqlite_db_path = "/tmp/a.db"; }},
      {"db_path=/tmp/b.db", [](C& c) { c.sqlite_db_path = "/tmp/b.db"; }},
      {"sqlite_db_path=", [](C&) {}},
      {"db_path=/a\nsqlite_db_path=", [](C& c) { c.sqlite_db_path = "/a"; }},
      {"server_id=host-1", [](C& c) { c.server_id = "host-1"; }},
      {"server_id=" + repeat(e_acute, 300), [&](C& c) { c.server_id = repeat(e_acute, 255); }},
      {"server_id=" + repeat("a\xe2\x82\xac", 150),  // "a€" 150 times: 300 characters
       [](C& c) { c.server_id = repeat("a\xe2\x82\xac", 127) + "a"; }},
      {"plugins=", [](C& c) { c.plugins = ""; }},
      {"mode=v2\ntessel_mode=all\nenv=dev",
       [](C& c) { c.mode = "v2", c.tessel_mode = "all", c.env = "dev"; }},
      {"log_level=DEBUG", [](C& c) { c.log_level = "debug"; }},
      {"logging=Warn", [](C& c) { c.log_level = "warn"; }},
      {"logging_level=error", [](C& c) { c.log_level = "error"; }},
      {"log_level=verbose", [](C&) {}},
      {"log_level=trace\nlogging=verbose", [](C& c) { c.log_level = "trace"; }},
      {"db_type=MySQL", [](C& c) { c.db_type = DbType::mysql; }},
      {"db_type=PostgreSQL", [](C& c) { c.db_type = DbType::postgresql; }},
      {"db_type=POSTGRES", [](C& c) { c.db_type = DbType::postgresql; }},
      {"db_type=mysql\ndb_type=SQLite", [](C& c) { c.db_type = DbType::sqlite; }},
      {"db_timeout=0", [](C& c) { c.db_timeout = 0; }},
      {"db_timeout=18446744073709551615", [](C& c) { c.db_timeout = UINT64_MAX; }},
      {"  timeout  =  10  ", [](C& c) { c.timeout = 10; }},
      {"\xc2\xa0timeout\xe3\x80\x80=\xe2\x80\x83 11\t", [](C& c) { c.timeout = 11; }},
      {"interval=+7", [](C& c) { c.interval = 7; }},
      {"aggregation_period=120", [](C& c) { c.aggregation_period = 120; }},
      {"keep_history_days=4294967295", [](C& c) { c.keep_history_days = 4294967295u; }},
      {"keep_history_days_domain=0", [](C& c) { c.keep_history_days_domain = 0; }},
      {"keep_history_days_domain=7", [](C& c) { c.keep_history_days_domain = 7; }},
      {"compresslevel=0", [](C& c) { c.compresslevel = 1; }},
      {"compresslevel=42", [](C& c) { c.compresslevel = 9; }},
      {"compresslevel=-5", [](C& c) { c.compresslevel = 1; }},
      {"compresslevel=5", [](C& c) { c.compresslevel = 5; }},
      {"period_between_incidents=-10", [](C& c) { c.period_between_incidents = -10; }},
      {"max_snapshots_per_incident=-9223372036854775808",
       [](C& c) { c.max_snapshots_per_incident = INT64_MIN; }},
      {"snapshots_per_minute=0", [](C& c) { c.snapshots_per_minute = 1; }},
      {"snapshots_per_minute=-3", [](C& c) { c.snapshots_per_minute = 1; }},
      {"snapshots_per_minute=7", [](C& c) { c.snapshots_per_minute = 7; }},
      {"collect_usernames=TrUe", [](C& c) { c.collect_usernames = true; }},
      {"collect_usernames=y", [](C& c) { c.collect_usernames = true; }},
      {"collect_usernames=1\ncollect_usernames=", [](C&) {}},
      {"use_big_uids=yes", [](C& c) { c.use_big_uids = true; }},
      {"use_big_uids=on", [](C&) {}},
      {"use_big_uids=ye\xc5\xbf", [](C& c) { c.use_big_uids = true; }},  // long s
      {"disable_mysql_snapshots=1", [](C& c) { c.disable_mysql_snapshots = true; }},
      {"disable_snapshots=true", [](C& c) { c.disable_snapshots = true; }},
      {"normalized_user_cpu=off", [](C&) {}},
      {"normalized_user_cpu=No", [](C& c) { c.normalized_user_cpu = false; }},
      {"normalized_user_cpu=FALSE", [](C& c) { c.normalized_user_cpu = false; }},
      {"normalized_user_cpu=0\nnormalized_user_cpu=", [](C&) {}},
      {"hide_kob_more_than_maxuid=off", [](C& c) { c.hide_kob_more_than_maxuid = false; }},
      {"hide_kob_more_than_maxuid=f", [](C& c) { c.hide_kob_more_than_maxuid = false; }},
      {"hide_kob_more_than_maxuid=o\xef\xac\x80",  // "o" + ff ligature
       [](C& c) { c.hide_kob_more_than_maxuid = false; }},
      {"hide_kob_more_than_maxuid=N\nhide_kob_more_than_maxuid=yes", [](C&) {}},
      {"litespeed=ON", [](C& c) { c.litespeed = true; }},
      {"litespeed=1", [](C& c) { c.litespeed = true; }},
      {"litespeed=Off", [](C& c) { c.litespeed = false; }},
      {"litespeed=0", [](C& c) { c.litespeed = false; }},
      {"litespeed=on\nlitespeed=yes", [](C&) {}},
      {"Interval=0\nTIMEOUT=x", [](C&) {}},
      {"[main]\ntimeout=9\n;interval=0\n#timeout=0", [](C& c) { c.timeout = 9; }},
      {"interval 0\ntimeout=8", [](C& c) { c.timeout = 8; }},
      {"a=b=c\nunknown=0", [](C&) {}},
      {"timeout=3\r\ninterval=4\r\n", [](C& c) { c.timeout = 3, c.interval = 4; }},
      {"timeout=3\ntimeout=4", [](C& c) { c.timeout = 4; }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.text));
    auto got = parse_stats_config(c.text);
    ASSERT_TRUE(got.has_value()) << got.error().message;
    StatsConfig want = default_stats_config();
    c.change(want);
    got->raw_values.clear();  // checked on their own below
    EXPECT_EQ(*got, want);
  }
}

TEST(ParseStatsConfig, FailsWithTheFirstError) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"interval=0", "interval must be > 0 (got 0)"},
      {"interval=-1", "Invalid interval: -1"},
      {"interval=", "Invalid interval: "},
      {"timeout=0", "timeout must be > 0 (got 0)"},
      {"aggregation_period=0", "aggregation_period must be > 0 (got 0)"},
      {"timeout = 1 0 ", "Invalid timeout: 1 0"},
      {"db_timeout=18446744073709551616", "Invalid db_timeout: 18446744073709551616"},
      {"aggregation_period=0x10", "Invalid aggregation_period: 0x10"},
      {"keep_history_days=4294967296", "Invalid keep_history_days: 4294967296"},
      {"keep_history_days_domain=-1", "Invalid keep_history_days_domain: -1"},
      {"compresslevel=2147483648", "Invalid compresslevel: 2147483648"},
      {"period_between_incidents=1.5", "Invalid period_between_incidents: 1.5"},
      {"max_snapshots_per_incident=+", "Invalid max_snapshots_per_incident: +"},
      {"snapshots_per_minute=9223372036854775808",
       "Invalid snapshots_per_minute: 9223372036854775808"},
      {"db_type=oracle", "Unknown db_type: oracle"},
      {"db_type = ORACLE ", "Unknown db_type: ORACLE"},
      {"db_type=", "Unknown db_type: "},
      // Reading stops at the first failure: no later line, no validation.
      {"# x\ntimeout=abc\ninterval=0", "Invalid timeout: abc"},
      {"timeout=abc\ndb_type=oracle", "Invalid timeout: abc"},
      {"timeout=x\ntimeout=5", "Invalid timeout: x"},
      // Validation order: interval, timeout, aggregation_period.
      {"aggregation_period=0\ntimeout=0\ninterval=0", "interval must be > 0 (got 0)"},
      {"aggregation_period=0\ntimeout=0", "timeout must be > 0 (got 0)"},
      {"interval=0\ninterval=3\naggregation_period=0", "aggregation_period must be > 0 (got 0)"},
  };
  for (const auto& [text, message] : cases) {
    SCOPED_TRACE(testing::PrintToString(text));
    const auto got = parse_stats_config(text);
    ASSERT_FALSE(got.has_value());
    EXPECT_EQ(got.error().message, message);
  }
}

TEST(ParseStatsConfig, RawValuesAreTrimmedUnconvertedAndLastWins) {
  const auto got = parse_stats_config(
      "[s]\n  Interval = 0 \nlog_level=DEBUG\r\ncompresslevel=42\na=b=c\n"
      "empty=\n=orphan\nkey=first\nkey=second\nno equals sign\n#c=d\n;e=f");
  ASSERT_TRUE(got.has_value()) << got.error().message;
  EXPECT_EQ(got->raw_values, (Raw{{"Interval", "0"},
                                  {"log_level", "DEBUG"},
                                  {"compresslevel", "42"},
                                  {"a", "b=c"},
                                  {"empty", ""},
                                  {"", "orphan"},
                                  {"key", "second"}}));
}

TEST(ParseStatsConfig, EmptyOrCommentsOnlyGivesTheDefaults) {
  for (const char* text : {"", "\n", "# a=1\n; b=2\n[c]\n"}) {
    SCOPED_TRACE(testing::PrintToString(text));
    const auto got = parse_stats_config(text);
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(*got, default_stats_config());
  }
}

// Installs a receiver that records every event, restores the previous one.
class RecordedDiagnostics : public testing::Test {
 protected:
  void SetUp() override {
    previous_ = set_diagnostic_receiver([this](const Diagnostic& d) { events_.push_back(d); });
  }
  void TearDown() override { set_diagnostic_receiver(std::move(previous_)); }

  std::vector<Diagnostic> events_;
  DiagnosticReceiver previous_;
};

TEST_F(RecordedDiagnostics, UnknownLevelWarnsOncePerLine) {
  ASSERT_TRUE(parse_stats_config("log_level = VeRbOse \ntimeout=9").has_value());
  ASSERT_EQ(events_.size(), 1u);
  EXPECT_EQ(events_[0].level, DiagnosticLevel::warn);
  EXPECT_EQ(events_[0].target, "kobstats_core::config");
  EXPECT_EQ(events_[0].message, "Unknown log_level 'VeRbOse', using default 'info'");

  events_.clear();
  ASSERT_TRUE(parse_stats_config("logging=\nlogging_level=loud").has_value());
  ASSERT_EQ(events_.size(), 2u);
  EXPECT_EQ(events_[0].message, "Unknown log_level '', using default 'info'");
  EXPECT_EQ(events_[1].message, "Unknown log_level 'loud', using default 'info'");
}

TEST_F(RecordedDiagnostics, KnownLevelsAndOtherKeysAreSilent) {
  ASSERT_TRUE(parse_stats_config("log_level=TRACE\nlogging=warn\nverbose=x\nmode=?").has_value());
  EXPECT_TRUE(events_.empty());
}

TEST(Diagnostics, WithoutReceiverNothingIsPrinted) {
  const DiagnosticReceiver previous = set_diagnostic_receiver(nullptr);
  EXPECT_FALSE(previous) << "a receiver is installed by default";
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  const auto got = parse_stats_config("log_level=verbose");
  const std::string out = testing::internal::GetCapturedStdout();
  const std::string err = testing::internal::GetCapturedStderr();
  set_diagnostic_receiver(previous);
  ASSERT_TRUE(got.has_value());
  EXPECT_EQ(got->log_level, "info");
  EXPECT_EQ(out, "");
  EXPECT_EQ(err, "");
}

// Files in a private temporary directory, removed afterwards.
class StatsConfigFile : public testing::Test {
 protected:
  test::TempDir temp_{"config_test"};
  const std::filesystem::path& dir_ = temp_.path();
};

TEST_F(StatsConfigFile, LoadsWholeOrFallsBackToDefaults) {
  struct FileCase {
    std::string name;
    std::optional<std::string> content;    // none: no such file
    std::optional<std::uint64_t> timeout;  // none: the defaults
  };
  const std::vector<FileCase> cases = {
      {"missing", std::nullopt, std::nullopt},
      {"not_utf8", "timeout=7\nserver_id=\xff\n", std::nullopt},
      {"invalid", "timeout=7\ninterval=0\n", std::nullopt},
      {"bad_value", "timeout=7\ncompresslevel=high\n", std::nullopt},
      {"valid", "# stats\ntimeout=7\n", 7},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir_ / c.name;
    if (c.content) std::ofstream(path, std::ios::binary) << *c.content;
    StatsConfig want = default_stats_config();
    if (c.timeout) {
      want.timeout = *c.timeout;
      want.raw_values = {{"timeout", std::to_string(*c.timeout)}};
    }
    EXPECT_EQ(load_stats_config(path), want);
  }
  EXPECT_EQ(load_stats_config(dir_), default_stats_config());  // a directory
}

}  // namespace
}  // namespace vt::core

namespace vt::base {
namespace {

TEST(CaseForCompare, MapsOnlyWhatCanFormAsciiWords) {
  struct Case {
    std::string in, upper, lower;
  };
  const std::string kelvin = "\xe2\x84\xaa";  // U+212A KELVIN SIGN
  const std::vector<Case> cases = {
      {"", "", ""},
      {"Yes 1_z@[`{", "YES 1_Z@[`{", "yes 1_z@[`{"},
      {"ye\xc5\xbf", "YES", "ye\xc5\xbf"},  // U+017F long s
      {"\xc4\xb1", "I", "\xc4\xb1"},        // U+0131 dotless i
      {"\xef\xac\x80\xef\xac\x81\xef\xac\x82", "FFFIFL", "\xef\xac\x80\xef\xac\x81\xef\xac\x82"},
      {"\xef\xac\x83\xef\xac\x84", "FFIFFL", "\xef\xac\x83\xef\xac\x84"},
      {"\xef\xac\x85\xef\xac\x86", "STST", "\xef\xac\x85\xef\xac\x86"},
      {"\xef\xac\x87", "\xef\xac\x87", "\xef\xac\x87"},  // U+FB07 is unassigned
      {kelvin + "b", kelvin + "B", "kb"},
      {"\xc3\xa9\xc3\x89", "\xc3\xa9\xc3\x89", "\xc3\xa9\xc3\x89"},  // other letters stay
      {"\xef\xac", "\xef\xac", "\xef\xac"},                          // cut sequence
      {"\xc5", "\xc5", "\xc5"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.in));
    EXPECT_EQ(upper_for_compare(c.in), c.upper);
    EXPECT_EQ(lower_for_compare(c.in), c.lower);
  }
}

}  // namespace
}  // namespace vt::base

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "metrics/exposition.h"
#include "tests/unit/nan.h"

namespace vt::metrics {

using namespace vt::gather;
namespace {

using vt::test::kNaN;
constexpr double kInfinity = std::numeric_limits<double>::infinity();

TEST(MetricsExposition, LabelValuesMadeSafe) {
  struct Case {
    std::string value;
    std::size_t max_bytes;
    std::string label;
  };
  const std::string fffd = "\xef\xbf\xbd";
  const std::vector<Case> cases = {
      {"site.example", 64, "site.example"},
      {"\\\"", 64, "\\\\\\\""},
      {"bad \xff byte", 64, "bad " + fffd + " byte"},
      {std::string("nul\0lf\ncr\resc\x1b del\x7f", 19), 64,
       "nul" + fffd + "lf" + fffd + "cr" + fffd + "esc" + fffd + " del" + fffd},
      {"c1 \xc2\x80\xc2\x9f nbsp \xc2\xa0", 64, "c1 " + fffd + fffd + " nbsp " + fffd},
      {"\xef\xbb\xbfres1", 64, fffd + "res1"},  // a byte-order mark
      // Cut with the whole value's hash: names that share 64 bytes differ.
      {std::string(64, 'u') + "1", 64, std::string(55, 'u') + "~35cc255c"},
      {std::string(64, 'u') + "2", 64, std::string(55, 'u') + "~38cc2a15"},
      // The bound counts bytes before escaping, and never splits a character.
      {"\\\\\\", 2, "\\\\\\\\"},
      {"ab\xe2\x82\xac", 4, "ab"},
      {"ab\xe2\x82\xac", 5, "ab\xe2\x82\xac"},
      {"a\n", 3, "a"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(escape_label_value(c.value, c.max_bytes), c.label);
  }
}

TEST(MetricsExposition, WorstStringsKeepTheDefaultFileSmall) {
  TopUser worst;
  worst.id = 4294967295;
  worst.username = std::string(1 << 20, '\\');  // each byte escaped
  worst.domain = worst.username;
  worst.reseller = worst.username;
  const double longest = -1.2345678901234567e-300;
  worst.usage = {.cpu = {.all = longest, .mysql = longest},
                 .io = {.all = longest, .mysql = longest},
                 .iops = longest,
                 .ep = longest,
                 .mem = longest,
                 .pno = longest};
  worst.limit = worst.usage;
  const std::vector<TopUser> accounts(300, worst);
  std::vector<std::size_t> exported(accounts.size());
  for (std::size_t i = 0; i < exported.size(); ++i) exported[i] = i;
  EXPECT_LT(metrics_text(MetricsRun{}, accounts, exported).size(), 2'000'000u);
}

// The value of a sample, as the text writes it.
std::string written_value(double value) {
  MetricsRun run;
  run.outcome = RunOutcome::stats_down;
  run.near_limit_fraction = value;
  const std::string text = metrics_text(run, {}, {});
  const std::string name = "\nvorlane_near_limit_fraction ";
  const std::size_t start = text.find(name) + name.size();
  return text.substr(start, text.find('\n', start) - start);
}

TEST(MetricsExposition, ValuesInShortestRoundTripForm) {
  for (const double value : {0.1, 66.13, 1073741824.0, 1.0 / 3, 5e-324, 1.7976931348623157e308}) {
    SCOPED_TRACE(value);
    const std::string text = written_value(value);
    double back = 0;
    std::from_chars(text.data(), text.data() + text.size(), back);
    EXPECT_EQ(back, value);
    EXPECT_LE(text.size(), 24u);
  }
  EXPECT_EQ(written_value(66.13), "66.13");
}

TEST(MetricsExposition, SamplesLeftOut) {
  const std::vector<std::pair<nlohmann::json, bool>> cases = {
      {nullptr, false}, {"-", false},       {"12", false},       {nlohmann::json::object(), false},
      {kNaN, false},    {kInfinity, false}, {-kInfinity, false}, {0, true},
      {2.5, true},      {-1, true},
  };
  for (const auto& [figure, kept] : cases) {
    SCOPED_TRACE(figure.dump());
    TopUser account;
    account.usage.cpu.mysql = figure;
    EXPECT_EQ(!std::isnan(gather::figure_values(account).usage[6]), kept);
  }
  TopUser account;
  account.usage.cpu.all = kNaN;
  account.limit.cpu.all = 3.25;
  EXPECT_TRUE(std::isnan(gather::figure_values(account).usage[0]));
  EXPECT_EQ(gather::figure_values(account).limit[0], 3.25);
}

TEST(MetricsExposition, TinyReport) {
  TopUser a;
  a.id = 1001;
  a.username = "o\"k";
  a.domain = "x\\y\nz";
  a.reseller = "N/A";
  a.usage = {.cpu = {.all = 1.5, .mysql = "-"},
             .io = {.all = kNaN, .mysql = nullptr},
             .iops = kInfinity,
             .ep = kNaN,
             .mem = kNaN,
             .pno = kNaN};
  a.limit = a.usage;
  a.limit.cpu.all = 2;
  a.restricted = true;
  MetricsRun run;
  run.sources = {{"stats_service", true}, {"panel_names", false}};
  run.export_max = 7;
  run.server = {.accounts = 2,
                .near_limit = {1, 0, 0, 0, 0, 0, 0, 2},
                .restricted = 1,
                .selected = 3,
                .tessel_state = "error",
                .tessel_mode = "all",
                .snapshot_timestamp = 1765000000.5};
  run.near_limit_fraction = 0.75;
  run.duration_seconds = 0.25;
  const std::string units = ", in the statistics service's units (not converted)";
  const std::string expected =
      "# HELP vorlane_kob_supported Whether the KOB feature is supported on this server (1) or "
      "not (0); a failing control-panel helper also gives 0\n"
      "# TYPE vorlane_kob_supported gauge\n"
      "vorlane_kob_supported 1\n"
      "# HELP vorlane_stats_up Whether the statistics service runs (1) or is stopped or dead "
      "(0); with 0 no account is exported\n"
      "# TYPE vorlane_stats_up gauge\n"
      "vorlane_stats_up 1\n"
      "# HELP vorlane_source_up Whether each input of this run answered (1) or failed (0); an "
      "input that the run did not use has no sample\n"
      "# TYPE vorlane_source_up gauge\n"
      "vorlane_source_up{source=\"stats_service\"} 1\n"
      "vorlane_source_up{source=\"panel_names\"} 0\n"
      "# HELP vorlane_accounts Number of accounts on the server (hidden accounts and panel "
      "admins are not accounts here)\n"
      "# TYPE vorlane_accounts gauge\n"
      "vorlane_accounts 2\n"
      "# HELP vorlane_accounts_selected Number of accounts that the selection chose (the top "
      "accounts of each usage, the restricted ones and those near a limit) before the cap cut "
      "it\n"
      "# TYPE vorlane_accounts_selected gauge\n"
      "vorlane_accounts_selected 3\n"
      "# HELP vorlane_accounts_exported Number of accounts exported in this file\n"
      "# TYPE vorlane_accounts_exported gauge\n"
      "vorlane_accounts_exported 1\n"
      "# HELP vorlane_accounts_exported_max Most accounts that this file may export: "
      "--max-accounts, or the bound of --all-accounts\n"
      "# TYPE vorlane_accounts_exported_max gauge\n"
      "vorlane_accounts_exported_max 7\n"
      "# HELP vorlane_accounts_near_limit Number of accounts whose usage has reached "
      "vorlane_near_limit_fraction of their limit\n"
      "# TYPE vorlane_accounts_near_limit gauge\n"
      "vorlane_accounts_near_limit{limit=\"cpu\"} 1\n"
      "vorlane_accounts_near_limit{limit=\"io\"} 0\n"
      "vorlane_accounts_near_limit{limit=\"iops\"} 0\n"
      "vorlane_accounts_near_limit{limit=\"entry_processes\"} 0\n"
      "vorlane_accounts_near_limit{limit=\"processes\"} 0\n"
      "vorlane_accounts_near_limit{limit=\"memory\"} 0\n"
      "vorlane_accounts_near_limit{limit=\"mysql_cpu\"} 0\n"
      "vorlane_accounts_near_limit{limit=\"mysql_io\"} 2\n"
      "# HELP vorlane_accounts_mysql_restricted Number of accounts whose MySQL usage is "
      "restricted\n"
      "# TYPE vorlane_accounts_mysql_restricted gauge\n"
      "vorlane_accounts_mysql_restricted 1\n"
      "# HELP vorlane_near_limit_fraction Fraction of a limit at which an account counts as "
      "near it\n"
      "# TYPE vorlane_near_limit_fraction gauge\n"
      "vorlane_near_limit_fraction 0.75\n"
      "# HELP vorlane_mysql_tessel_state State of the MySQL tessel service: 1 on the current "
      "state, 0 on the others\n"
      "# TYPE vorlane_mysql_tessel_state gauge\n"
      "vorlane_mysql_tessel_state{state=\"enabled\"} 0\n"
      "vorlane_mysql_tessel_state{state=\"disabled\"} 0\n"
      "vorlane_mysql_tessel_state{state=\"error\"} 1\n"
      "# HELP vorlane_mysql_tessel_mode_info Mode in which the MySQL tessel service limits "
      "MySQL usage (value 1)\n"
      "# TYPE vorlane_mysql_tessel_mode_info gauge\n"
      "vorlane_mysql_tessel_mode_info{mode=\"all\"} 1\n"
      "# HELP vorlane_snapshot_timestamp_seconds Time at which the statistics service saved its "
      "usage snapshot, in seconds since the Unix epoch\n"
      "# TYPE vorlane_snapshot_timestamp_seconds gauge\n"
      "vorlane_snapshot_timestamp_seconds 1765000000.5\n"
      "# HELP vorlane_metrics_duration_seconds Time this run of vorlane-top-metrics took, in "
      "seconds\n"
      "# TYPE vorlane_metrics_duration_seconds gauge\n"
      "vorlane_metrics_duration_seconds 0.25\n"
      "# HELP vorlane_account_cpu_usage CPU (all processes, MySQL included) usage of the "
      "account" +
      units +
      "\n"
      "# TYPE vorlane_account_cpu_usage gauge\n"
      "vorlane_account_cpu_usage{uid=\"1001\",user=\"o\\\"k\"} 1.5\n"
      "# HELP vorlane_account_cpu_limit CPU (all processes, MySQL included) limit of the "
      "account" +
      units +
      "\n"
      "# TYPE vorlane_account_cpu_limit gauge\n"
      "vorlane_account_cpu_limit{uid=\"1001\",user=\"o\\\"k\"} 2\n"
      "# HELP vorlane_account_limit_ratio Usage divided by limit, for each usage of the account "
      "that has reached vorlane_near_limit_fraction of its limit, or the limit itself\n"
      "# TYPE vorlane_account_limit_ratio gauge\n"
      "vorlane_account_limit_ratio{uid=\"1001\",user=\"o\\\"k\",limit=\"cpu\"} 0.75\n"
      "# HELP vorlane_account_mysql_restricted Whether the account's MySQL usage is restricted "
      "(1) or not (0)\n"
      "# TYPE vorlane_account_mysql_restricted gauge\n"
      "vorlane_account_mysql_restricted{uid=\"1001\",user=\"o\\\"k\"} 1\n"
      "# HELP vorlane_account_info Domain and reseller of the account (value 1), to join on "
      "uid\n"
      "# TYPE vorlane_account_info gauge\n"
      "vorlane_account_info{uid=\"1001\",user=\"o\\\"k\",domain=\"x\\\\y\xef\xbf\xbdz\",reseller="
      "\"N/"
      "A\"} 1\n";
  EXPECT_EQ(metrics_text(run, {a}, {0}), expected);
}

// Which usages get a limit ratio: those at F of their limit, and those at
// their limit when F is above 1; never one without a limit.
TEST(MetricsExposition, LimitRatiosOfTheUsagesNearTheirLimits) {
  TopUser a;
  a.id = 7;
  a.username = "a";
  a.usage = {.cpu = {.all = 2.0}, .io = {.all = 1.0}, .iops = 3.0};
  a.limit = {.cpu = {.all = 2.0}, .io = {.all = 2.0}, .iops = 0.0};
  for (const auto& [fraction, ratios] : std::vector<std::pair<double, std::string>>{
           {0.5, "cpu 1|io 0.5|"}, {0.9, "cpu 1|"}, {1.5, "cpu 1|"}}) {
    MetricsRun run;
    run.near_limit_fraction = fraction;
    std::istringstream lines(metrics_text(run, {a}, {0}));
    std::string got;
    const std::string prefix = "vorlane_account_limit_ratio{uid=\"7\",user=\"a\",limit=\"";
    for (std::string line; std::getline(lines, line);) {
      if (!line.starts_with(prefix)) continue;
      line.erase(0, prefix.size());
      got += line.replace(line.find("\"} "), 3, " ") + "|";
    }
    EXPECT_EQ(got, ratios) << "fraction " << fraction;
  }
}

TEST(MetricsExposition, OnlyWhatIsKnownWithoutAReport) {
  struct Case {
    RunOutcome outcome;
    bool snapshot_read;
    std::string samples;
  };
  const std::string tail =
      "vorlane_accounts_exported 0\nvorlane_accounts_exported_max 300\n"
      "vorlane_near_limit_fraction 0.9\n";
  const std::string tessel =
      "vorlane_mysql_tessel_state{state=\"enabled\"} 1\n"
      "vorlane_mysql_tessel_state{state=\"disabled\"} 0\n"
      "vorlane_mysql_tessel_state{state=\"error\"} 0\n"
      "vorlane_mysql_tessel_mode_info{mode=\"all\"} 1\n";
  const std::string end = "vorlane_metrics_duration_seconds 1\n";
  const std::vector<Case> cases = {
      {RunOutcome::kob_unsupported, true, "vorlane_kob_supported 0\n" + tail + end},
      {RunOutcome::stats_down, true,
       "vorlane_kob_supported 1\nvorlane_stats_up 0\nvorlane_source_up{source=\"x\"} 0\n" + tail +
           end},
      {RunOutcome::snapshot_unusable, true,
       "vorlane_kob_supported 1\nvorlane_stats_up 1\nvorlane_source_up{source=\"x\"} 0\n" + tail +
           end},
      {RunOutcome::report, false,
       "vorlane_kob_supported 1\nvorlane_stats_up 1\nvorlane_source_up{source=\"x\"} 0\n" + tail +
           tessel + end},
  };
  for (const auto& c : cases) {
    MetricsRun run;
    run.outcome = c.outcome;
    if (c.outcome != RunOutcome::kob_unsupported) run.sources = {{"x", false}};
    run.server = {
        .snapshot_read = c.snapshot_read, .tessel_state = "enabled", .tessel_mode = "all"};
    run.duration_seconds = 1;
    std::string samples;
    std::istringstream lines(metrics_text(run, {}, {}));
    for (std::string line; std::getline(lines, line);) {
      if (!line.starts_with("#")) samples += line + "\n";
    }
    EXPECT_EQ(samples, c.samples);
  }
}

}  // namespace
}  // namespace vt::metrics

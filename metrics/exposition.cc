#include "metrics/exposition.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <initializer_list>

#include "base/safe_text.h"
#include "base/utf8.h"

namespace vt::metrics {
namespace {

constexpr std::string_view kUnits = ", in the statistics service's units (not converted)";

struct Label {
  std::string_view name;
  std::string_view value;
  std::size_t max_bytes = kNameLabelBytes;
};

// {name="value",...}
std::string label_set(std::initializer_list<Label> labels) {
  std::string out = "{";
  for (const Label& label : labels) {
    if (out.size() > 1) out += ',';
    out += label.name;
    out += "=\"";
    out += escape_label_value(label.value, label.max_bytes);
    out += '"';
  }
  out += '}';
  return out;
}

template <typename Number>
void append_number(std::string& out, Number value) {
  char buffer[32];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
  out.append(buffer, end);
}

void append_family(std::string& out, std::string_view name, std::string_view help) {
  out += "# HELP ";
  out += name;
  out += ' ';
  out += help;
  out += "\n# TYPE ";
  out += name;
  out += " gauge\n";
}

template <typename Number>
void append_sample(std::string& out, std::string_view name, std::string_view labels, Number value) {
  out += name;
  out += labels;
  out += ' ';
  append_number(out, value);
  out += '\n';
}

template <typename Number>
void append_metric(std::string& out, std::string_view name, std::string_view help, Number value) {
  append_family(out, name, help);
  append_sample(out, name, "", value);
}

void append_server(std::string& out, const MetricsRun& run, std::size_t exported) {
  append_metric(out, "vorlane_kob_supported",
                "Whether the KOB feature is supported on this server (1) or not (0); a failing "
                "control-panel helper also gives 0",
                run.outcome == RunOutcome::kob_unsupported ? 0 : 1);
  if (run.outcome != RunOutcome::kob_unsupported) {
    append_metric(out, "vorlane_stats_up",
                  "Whether the statistics service runs (1) or is stopped or dead (0); with 0 no "
                  "account is exported",
                  run.outcome == RunOutcome::stats_down ? 0 : 1);
  }
  if (!run.sources.empty()) {
    append_family(out, "vorlane_source_up",
                  "Whether each input of this run answered (1) or failed (0); an input that the "
                  "run did not use has no sample");
    for (const SourceUp& source : run.sources) {
      append_sample(out, "vorlane_source_up", label_set({{"source", source.source}}),
                    source.up ? 1 : 0);
    }
  }
  const bool report = run.outcome == RunOutcome::report;
  const ServerFigures& server = run.server;
  const bool counted = report && server.snapshot_read;
  if (counted) {
    append_metric(out, "vorlane_accounts",
                  "Number of accounts on the server (hidden accounts and panel admins are not "
                  "accounts here)",
                  server.accounts);
  }
  if (counted) {
    append_metric(out, "vorlane_accounts_selected",
                  "Number of accounts that the selection chose (the top accounts of each usage, "
                  "the restricted ones and those near a limit) before the cap cut it",
                  server.selected);
  }
  append_metric(out, "vorlane_accounts_exported", "Number of accounts exported in this file",
                exported);
  append_metric(out, "vorlane_accounts_exported_max",
                "Most accounts that this file may export: --max-accounts, or the bound of "
                "--all-accounts",
                run.export_max);
  if (counted) {
    append_family(out, "vorlane_accounts_near_limit",
                  "Number of accounts whose usage has reached vorlane_near_limit_fraction of "
                  "their limit");
    for (std::size_t f = 0; f < gather::kUsageCount; ++f) {
      append_sample(out, "vorlane_accounts_near_limit",
                    label_set({{"limit", gather::kUsages[f].metric_name}}), server.near_limit[f]);
    }
    append_metric(out, "vorlane_accounts_mysql_restricted",
                  "Number of accounts whose MySQL usage is restricted", server.restricted);
  }
  append_metric(out, "vorlane_near_limit_fraction",
                "Fraction of a limit at which an account counts as near it",
                run.near_limit_fraction);
  if (report) {
    append_family(out, "vorlane_mysql_tessel_state",
                  "State of the MySQL tessel service: 1 on the current state, 0 on the others");
    for (const std::string_view state : {"enabled", "disabled", "error"}) {
      append_sample(out, "vorlane_mysql_tessel_state", label_set({{"state", state}}),
                    state == server.tessel_state ? 1 : 0);
    }
    append_family(out, "vorlane_mysql_tessel_mode_info",
                  "Mode in which the MySQL tessel service limits MySQL usage (value 1)");
    append_sample(out, "vorlane_mysql_tessel_mode_info", label_set({{"mode", server.tessel_mode}}),
                  1);
  }
  if (counted) {
    append_metric(out, "vorlane_snapshot_timestamp_seconds",
                  "Time at which the statistics service saved its usage snapshot, in seconds "
                  "since the Unix epoch",
                  server.snapshot_timestamp);
  }
  append_metric(out, "vorlane_metrics_duration_seconds",
                "Time this run of vorlane-top-metrics took, in seconds", run.duration_seconds);
}

// One per-account metric: HELP and TYPE, then a sample for each exported
// account whose value is not NaN; nothing at all when there is none.
void append_account_metric(std::string& out, std::string_view name, std::string_view help,
                           const std::vector<std::string>& labels,
                           const std::vector<double>& values) {
  const std::size_t start = out.size();
  append_family(out, name, help);
  const std::size_t header_end = out.size();
  for (std::size_t k = 0; k < values.size(); ++k) {
    if (!std::isnan(values[k])) append_sample(out, name, labels[k], values[k]);
  }
  if (out.size() == header_end) out.resize(start);
}

// usage / limit of each pair that is at or near its limit: few series, which
// the alerts on accounts at a limit read instead of every usage and limit.
void append_limit_ratios(std::string& out, const std::vector<std::string>& labels,
                         const std::vector<gather::FigureValues>& figures, double fraction) {
  constexpr std::string_view name = "vorlane_account_limit_ratio";
  const std::size_t start = out.size();
  append_family(out, name,
                "Usage divided by limit, for each usage of the account that has reached "
                "vorlane_near_limit_fraction of its limit, or the limit itself");
  const std::size_t header_end = out.size();
  for (std::size_t k = 0; k < figures.size(); ++k) {
    const auto reached = gather::limits_reached(figures[k], std::min(fraction, 1.0));
    for (std::size_t f = 0; f < gather::kUsageCount; ++f) {
      if (!reached[f]) continue;
      std::string pair = labels[k];
      pair.pop_back();
      pair += ",limit=\"";
      pair += gather::kUsages[f].metric_name;
      pair += "\"}";
      append_sample(out, name, pair, figures[k].usage[f] / figures[k].limit[f]);
    }
  }
  if (out.size() == header_end) out.resize(start);
}

void append_accounts(std::string& out, const std::vector<gather::TopUser>& accounts,
                     const std::vector<std::size_t>& exported, double near_limit_fraction) {
  if (exported.empty()) return;
  std::vector<std::string> labels;
  std::vector<gather::FigureValues> figures;
  labels.reserve(exported.size());
  figures.reserve(exported.size());
  for (const std::size_t i : exported) {
    labels.push_back(
        label_set({{"uid", std::to_string(accounts[i].id)}, {"user", accounts[i].username}}));
    figures.push_back(gather::figure_values(accounts[i]));
  }
  std::vector<double> values(exported.size());
  for (std::size_t f = 0; f < gather::kUsageCount; ++f) {
    const gather::UsageColumn& figure = gather::kUsages[f];
    for (const bool usage : {true, false}) {
      for (std::size_t k = 0; k < exported.size(); ++k) {
        values[k] = usage ? figures[k].usage[f] : figures[k].limit[f];
      }
      append_account_metric(
          out, "vorlane_account_" + std::string(figure.metric_name) + (usage ? "_usage" : "_limit"),
          std::string(figure.what) + (usage ? " usage" : " limit") + " of the account" +
              std::string(kUnits),
          labels, values);
    }
  }
  append_limit_ratios(out, labels, figures, near_limit_fraction);
  for (std::size_t k = 0; k < exported.size(); ++k) {
    values[k] = accounts[exported[k]].restricted ? 1 : 0;
  }
  append_account_metric(out, "vorlane_account_mysql_restricted",
                        "Whether the account's MySQL usage is restricted (1) or not (0)", labels,
                        values);

  append_family(out, "vorlane_account_info",
                "Domain and reseller of the account (value 1), to join on uid");
  for (const std::size_t i : exported) {
    const gather::TopUser& a = accounts[i];
    append_sample(out, "vorlane_account_info",
                  label_set({{"uid", std::to_string(a.id)},
                             {"user", a.username},
                             {"domain", a.domain, kDomainLabelBytes},
                             {"reseller", a.reseller}}),
                  1);
  }
}

}  // namespace

// "~" and 8 hexadecimal digits.
constexpr std::size_t kHashSuffixBytes = 9;

std::string escape_label_value(std::string_view value, std::size_t max_bytes) {
  // A replacement is 3 bytes, and the widest character it replaces 4: twice
  // the bytes kept give enough, and a text of any length costs no more.
  const std::string safe = base::safe_text(value.substr(0, 2 * max_bytes + 4));
  std::string kept(base::cut_utf8(safe, max_bytes));
  if ((kept.size() < safe.size() || value.size() > 2 * max_bytes + 4) &&
      max_bytes > kHashSuffixBytes * 2) {
    // Cut: "~" and the whole value's hash end it, so that two values that
    // share their beginning keep two labels.
    std::uint32_t hash = 2166136261u;  // FNV-1a
    for (const char c : value) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    char suffix[kHashSuffixBytes + 1];
    std::snprintf(suffix, sizeof suffix, "~%08x", hash);
    kept = std::string(base::cut_utf8(safe, max_bytes - kHashSuffixBytes)) + suffix;
  }
  std::string out;
  out.reserve(kept.size() + 8);
  for (const char c : kept) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out;
}

std::string metrics_text(const MetricsRun& run, const std::vector<gather::TopUser>& accounts,
                         const std::vector<std::size_t>& exported) {
  std::string out;
  append_server(out, run, exported.size());
  append_accounts(out, accounts, exported, run.near_limit_fraction);
  return out;
}

}  // namespace vt::metrics

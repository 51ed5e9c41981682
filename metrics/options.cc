#include "metrics/options.h"

#include <CLI/CLI.hpp>
#include <charconv>
#include <cmath>
#include <vector>

#include "base/text.h"

namespace vt::metrics {
namespace {

// A fraction of a limit: a finite decimal number above 0.
std::optional<double> parse_fraction(std::string_view text) {
  double value = 0.0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if (!std::isfinite(value) || value <= 0) return std::nullopt;
  return value;
}

const CLI::Validator kFraction(
    [](std::string& value) -> std::string {
      if (parse_fraction(value)) return {};
      return "invalid value '" + value + "': not a finite number above 0";
    },
    "", "fraction");

const CLI::Validator kNonEmpty(
    [](std::string& value) -> std::string { return value.empty() ? "the path is empty" : ""; }, "",
    "path");

const CLI::Validator kNonEmptyName(
    [](std::string& value) -> std::string { return value.empty() ? "the name is empty" : ""; }, "",
    "name");

}  // namespace

std::expected<MetricsCli, command::ParseExit> parse_metrics_cli(int argc, const char* const* argv) {
  CLI::App app("Write KOB resource usage as Prometheus metrics", kMetricsProgramName);
  command::use_help_format(app);

  MetricsCli cli;
  std::string top_text = "10";
  std::string near_limit_text = "0.9";
  std::string max_text = "300";
  auto* textfile =
      app.add_option("--textfile", cli.textfile,
                     "Write the metrics to PATH (replaced atomically) instead of standard output");
  textfile->type_name("PATH")->check(kNonEmpty);
  auto* group = app.add_option("--group", cli.group,
                               "Give the metrics file this group, which may read it (mode 0640)");
  group->type_name("NAME")->default_str(kDefaultTextfileGroup)->check(kNonEmptyName);
  auto* top = app.add_option("--top", top_text, "Export the top N accounts of each sort order");
  top->type_name("N")->default_str("10")->check(command::kUnsigned64);
  auto* near_limit = app.add_option("--near-limit", near_limit_text,
                                    "Export the accounts whose usage reaches F times a limit");
  near_limit->type_name("F")->default_str("0.9")->check(kFraction);
  auto* max = app.add_option("--max-accounts", max_text,
                             "Export at most M accounts: the top ones, then the restricted, then "
                             "those at or near a limit");
  max->type_name("M")->default_str("300")->check(command::kUnsigned64);
  auto* all =
      app.add_flag("--all-accounts", cli.bounds.all_accounts, "Export every account, up to 10,000");

  if (auto exit = command::parse_arguments(
          app, {textfile, group, top, near_limit, max, all},
          std::string(kMetricsProgramName) + " " + command::kVersion, argc, argv)) {
    return std::unexpected(std::move(*exit));
  }
  cli.bounds.top = *base::parse_decimal<std::uint64_t>(top_text);
  cli.bounds.near_limit = *parse_fraction(near_limit_text);
  cli.bounds.max_accounts = *base::parse_decimal<std::uint64_t>(max_text);
  return cli;
}

}  // namespace vt::metrics

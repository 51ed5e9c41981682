#include "live/options.h"

#include <CLI/CLI.hpp>
#include <charconv>
#include <cmath>
#include <vector>

#include "base/text.h"
#include "gather/usages.h"

namespace vt::live {
namespace {

// A delay in seconds: a finite decimal number from 0.1 to a day.
std::optional<double> parse_delay(std::string_view text) {
  double value = 0.0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if (!std::isfinite(value) || value < 0.1 || value > 86400) return std::nullopt;
  return value;
}

const CLI::Validator kDelay(
    [](std::string& value) -> std::string {
      if (parse_delay(value)) return {};
      return "invalid value '" + value + "': not a number of seconds from 0.1 to 86400";
    },
    "", "seconds");

}  // namespace

std::expected<LiveCli, command::ParseExit> parse_live_cli(int argc, const char* const* argv) {
  CLI::App app("Show KOB resource usage live in a terminal", kLiveProgramName);
  command::use_help_format(app);

  LiveCli cli;
  std::string delay_text;
  std::string iterations_text;
  std::vector<CLI::Option*> options;
  auto* delay = app.add_option("-d,--delay", delay_text,
                               "Seconds between refreshes [default: the statistics service's "
                               "interval]");
  delay->type_name("SECONDS")->check(kDelay);
  options.push_back(delay);
  options.push_back(app.add_flag(
      "-b,--batch", cli.batch, "Write plain text tables to standard output, no terminal control"));
  auto* iterations = app.add_option("-n,--iterations", iterations_text,
                                    "Refreshes to show, then end [default: until quit; 1 in "
                                    "batch mode]");
  iterations->type_name("N")->check(command::kUnsigned64);
  options.push_back(iterations);
  auto* for_reseller = app.add_option("-r,--for-reseller", cli.for_reseller,
                                      "Show only the specified reseller and his users");
  for_reseller->type_name("FOR_RESELLER");
  auto* username =
      app.add_option("-u,--username", cli.username, "Filter: show users matching username pattern");
  username->type_name("USERNAME");
  username->excludes(for_reseller);
  for_reseller->excludes(username);
  auto* domain =
      app.add_option("--domain", cli.domain, "Filter: show users with domain matching pattern");
  domain->type_name("DOMAIN");
  std::string orders = "First sort order:";
  for (const gather::UsageColumn& usage : gather::kUsages) {
    orders += std::string(orders.back() == ':' ? " " : ", ") + std::string(usage.sort_name);
  }
  auto* order_by = app.add_option("-o,--order-by", cli.order_by, orders);
  order_by->type_name("ORDER_BY")->default_str("cpu");
  options.push_back(app.add_flag("--hide-mysql", cli.hide_mysql, "Don't show MySQL related info"));
  for (auto* text_option : {for_reseller, username, domain, order_by}) {
    text_option->check(command::kUtf8Text);
    options.push_back(text_option);
  }
  if (auto exit = command::parse_arguments(
          app, options, std::string(kLiveProgramName) + " " + command::kVersion, argc, argv)) {
    return std::unexpected(std::move(*exit));
  }
  if (!delay_text.empty()) cli.delay = parse_delay(delay_text);
  if (!iterations_text.empty()) {
    cli.iterations = *base::parse_decimal<std::uint64_t>(iterations_text);
  }
  return cli;
}

}  // namespace vt::live

#include "report/options.h"

#include <CLI/CLI.hpp>
#include <vector>

#include "base/text.h"

namespace vt::report {

std::expected<Cli, command::ParseExit> parse_cli(int argc, const char* const* argv) {
  CLI::App app("Show current KOB resource usage", kProgramName);
  command::use_help_format(app);

  Cli cli;
  std::string max_text = "25";
  std::vector<CLI::Option*> options;
  options.push_back(app.add_flag("-j,--json", cli.json, "Return data in JSON format (required)"));
  options.push_back(app.add_flag("--hide-mysql", cli.hide_mysql, "Don't show MySQL related info"));
  auto* username =
      app.add_option("-u,--username", cli.username, "Filter: show users matching username pattern");
  username->type_name("USERNAME");
  auto* for_reseller =
      app.add_option("-r,--for-reseller", cli.for_reseller,
                     "Get information only about specified reseller and his users");
  for_reseller->type_name("FOR_RESELLER");
  username->excludes(for_reseller);
  for_reseller->excludes(username);
  auto* domain =
      app.add_option("-d,--domain", cli.domain, "Filter: show users with domain matching pattern");
  domain->type_name("DOMAIN");
  auto* max = app.add_option("-m,--max", max_text, "Show up to N records (default top 25)");
  max->type_name("MAX")->default_str("25")->check(command::kUnsigned64);
  auto* order_by =
      app.add_option("-o,--order-by", cli.order_by,
                     "Sort order: cpu, mysql_cpu, io, mysql_io, iops, ep, nproc, pmem");
  order_by->type_name("ORDER_BY")->default_str("cpu");
  options.push_back(app.add_flag("--domains", cli.domains,
                                 "Include per-domain usage for isolated accounts (TRQ-6819)"));
  for (auto* text_option : {username, for_reseller, domain, order_by}) {
    text_option->check(command::kUtf8Text);
    options.push_back(text_option);
  }
  options.push_back(max);
  // Every option, flags included, may be given once.
  if (auto exit = command::parse_arguments(
          app, options, std::string(kProgramName) + " " + command::kVersion, argc, argv)) {
    return std::unexpected(std::move(*exit));
  }
  cli.max = *base::parse_decimal<std::uint64_t>(max_text);
  return cli;
}

}  // namespace vt::report

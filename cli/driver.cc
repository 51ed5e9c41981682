#include "cli/driver.h"

#include <unistd.h>

#include <csignal>

#include "base/json_write.h"
#include "cli/exit_status.h"
#include "cli/options.h"
#include "cli/output.h"
#include "cli/report.h"
#include "cli/selection.h"
#include "cli/snapshot.h"

namespace vt::cli {
namespace {

int print_document(const nlohmann::json& document, int status) {
  write_all(STDOUT_FILENO, base::write_json(document));
  return status;
}

int fail(const base::Error& error) {
  write_all(STDERR_FILENO, format_fatal(error));
  return kExitFailure;
}

}  // namespace

int run(int argc, const char* const* argv) {
  // A reader that goes away ends the process quietly.
  std::signal(SIGPIPE, SIG_DFL);

  auto parsed = parse_cli(argc, argv);
  if (!parsed) {
    write_all(STDOUT_FILENO, parsed.error().out);
    write_all(STDERR_FILENO, parsed.error().err);
    return parsed.error().status;
  }
  const Cli& cli = *parsed;
  if (!cli.json) {
    write_all(STDERR_FILENO, "Error: --json flag is required\n");
    return kExitFailure;
  }

  auto snapshot = load_snapshot(kSnapshotPath, epoch_seconds_now());
  if (!snapshot) return fail(snapshot.error());

  const core::MysqlStats mysql_stats;
  const LoginNames login_names;
  const auto order =
      order_users(snapshot->users, sort_key_named(cli.order_by), mysql_stats, login_names);
  std::vector<TopUser> users;
  for (std::size_t i = 0; i < order.size() && users.size() < cli.max; ++i) {
    users.push_back(std::move(snapshot->users[order[i]]));
    if (!cli.domains) users.back().domains.clear();
  }
  if (cli.hide_mysql) {
    for (TopUser& user : users) strip_mysql(user);
  }
  const core::TesselStatus tessel;
  return print_document(
      usage_report(users, snapshot->resellers, snapshot->timestamp, tessel, "none"), kExitSuccess);
}

}  // namespace vt::cli

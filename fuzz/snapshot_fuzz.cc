// The usage snapshot: decodes the text and, when the command would go on with
// it, assembles the report with assemble_report from sources made up from the
// snapshot itself, and writes it as the driver does. The choices of a command
// line (order, filters, --max, --hide-mysql, --domains, the caller) and of
// the sources come from the hash of the text, so every input takes its own
// path.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <limits>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/json_write.h"
#include "base/utf8.h"
#include "fuzz/fuzz_input.h"
#include "gather/access.h"
#include "gather/fill_in.h"
#include "gather/selection.h"
#include "gather/snapshot.h"
#include "gather/sources.h"
#include "report/assemble.h"
#include "report/options.h"

namespace {

namespace cli = vt::gather;
namespace report = vt::report;

constexpr const char* kOrderNames[] = {"cpu",  "mysql_cpu", "io",    "mysql_io",
                                       "iops", "ep",        "nproc", "PMEM"};

// What the password database, the control panel and the MySQL sources would
// say: each knows some of the snapshot's accounts and misses others.
void add_account_sources(cli::Sources& sources) {
  for (const cli::TopUser& user : sources.snapshot.users) {
    const std::string id = std::to_string(user.id);
    if (user.id % 2 == 0) sources.login_names[user.id] = "login" + id;
    if (user.id % 3 == 0) {
      sources.panel[user.id] = {"panel" + id + ".example",
                                user.id % 2 == 0 ? std::string("res1") : cli::kNotAvailable};
    }
    const std::string name = user.username.empty() ? "login" + id : user.username;
    if (user.id % 4 != 1) {
      sources.mysql_stats[name] = {user.usage.cpu.all / 2, user.usage.io.all / 2,
                                   user.id % 5 == 0 ? "cpu" : "-",
                                   static_cast<std::int64_t>(user.id)};
    }
    if (user.id % 4 != 2) {
      vt::plugins::TslLimits limits;
      limits.cpu = user.limit.cpu.all;
      if (user.id % 6 != 0) limits.io = user.limit.io.all;
      if (user.id % 7 == 0) limits.error = "no such user";
      limits.absent = user.id % 11 == 0;
      sources.tessel_limits[name] = limits;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(vt::fuzz::as_text(data, size));
  auto snapshot = cli::decode_snapshot(text);
  if (!snapshot) return 0;
  // Only UTF-8 decodes: the command checks it again only to word a failure.
  if (!vt::base::is_utf8(text)) std::abort();

  const std::size_t choice = std::hash<std::string_view>{}(text);
  const auto bit = [choice](int n) { return ((choice >> n) & 1) != 0; };

  cli::Sources sources;
  sources.snapshot = std::move(*snapshot);
  const std::vector<cli::TopUser>& users = sources.snapshot.users;
  add_account_sources(sources);
  sources.visible = cli::visible_accounts(users, bit(0), bit(1), 1000, 60000);

  // Root, or the first account, or a caller without an account.
  cli::CallerIdentity caller{.name = "root", .is_root = true, .has_account = true};
  if (bit(2)) {
    caller = {.name = users.empty() ? "alice" : users.front().username,
              .is_root = false,
              .has_account = !bit(3)};
  }
  report::Cli command{
      .json = true,
      .hide_mysql = bit(21),
      .max = bit(13) ? std::numeric_limits<std::uint64_t>::max() : (choice >> 14) % 32,
      .order_by = kOrderNames[(choice >> 10) % 8],
      .domains = bit(19)};
  if (bit(4) && !users.empty()) {
    command.for_reseller = users.back().reseller;
    if (bit(5)) {
      sources.reseller_users = cli::mysql_names(users, sources.visible, sources.login_names);
    }
  }
  if (caller.is_root && bit(6) && !users.empty()) sources.admins.insert(users.front().username);
  if (bit(7)) command.username = "1";
  if (bit(8)) command.domain = ".example";

  sources.tessel_mode = bit(9) ? "all" : "none";
  sources.mysql_in_report = bit(20);
  sources.tessel.status = bit(22) ? "enabled" : "error";
  if (bit(23)) {
    sources.tessel.warning = "tslctl error: %(output)s";
    sources.tessel.context = nlohmann::json{{"output", "cannot connect"}};
  }
  const std::string document =
      vt::base::write_json(report::assemble_report(sources, command, caller));

  // The document is one JSON value and a line feed.
  if (document.empty() || document.back() != '\n') std::abort();
  if (!nlohmann::json::accept(document)) std::abort();
  return 0;
}

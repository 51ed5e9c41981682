// The usage snapshot: decodes the text and, when the command would go on with
// it, assembles the report with assemble_report from sources made up from the
// snapshot itself, and writes it as the driver does. The text is decoded twice:
// whole, and through the sieve a run uses, which keeps only the accounts the
// caller can see, with only the login names it needs; both must fail alike
// or give the same report. Each decode is also streamed in chunks of a few
// bytes, and gives what the whole decode gives or leaves the text to it. The
// choices of a command line (order, filters,
// --max, --hide-mysql, --domains, the caller), of the login range and of the
// sources come from the hash of the text, so every input takes its own path.
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

#include "base/json_stream.h"
#include "base/json_write.h"
#include "base/utf8.h"
#include "fuzz/fuzz_input.h"
#include "fuzz/snapshot_dump.h"
#include "gather/access.h"
#include "gather/fill_in.h"
#include "gather/selection.h"
#include "gather/sieve.h"
#include "gather/snapshot.h"
#include "gather/sources.h"
#include "report/assemble.h"
#include "report/options.h"

namespace {

namespace cli = vt::gather;
namespace report = vt::report;

constexpr const char* kOrderNames[] = {"cpu",  "mysql_cpu", "io",    "mysql_io",
                                       "iops", "ep",        "nproc", "PMEM"};

// What the password database would say: login names for the even ids, and
// with `odd` some entries that make scope by name subtle: an id listed
// again under another name, an account named "N/A", and names that the
// snapshot's accounts also go by.
std::vector<std::pair<std::uint32_t, std::string>> passwd_of(const std::vector<cli::TopUser>& users,
                                                             bool odd) {
  std::vector<std::pair<std::uint32_t, std::string>> entries;
  for (const cli::TopUser& user : users) {
    if (user.id % 2 == 0) entries.emplace_back(user.id, "login" + std::to_string(user.id));
  }
  if (odd && !users.empty()) {
    entries.emplace_back(users.front().id, "N/A");
    entries.emplace_back(users.back().id, users.front().username);
    if (users.size() > 1) entries.emplace_back(users[1].id, "login" + std::to_string(users[1].id));
  }
  return entries;
}

// What the control panel and the MySQL sources would say: each knows some
// of the snapshot's accounts and misses others.
void add_account_sources(cli::Sources& sources, const std::vector<cli::TopUser>& users,
                         const cli::LoginNames& login_names) {
  for (const cli::TopUser& user : users) {
    const std::string id = std::to_string(user.id);
    if (user.id % 3 == 0) {
      sources.panel[user.id] = {"panel" + id + ".example",
                                user.id % 2 == 0 ? std::string("res1") : cli::kNotAvailable};
    }
    const std::string* login = cli::login_name(login_names, user.id);
    const std::string name = !user.username.empty() ? user.username : login ? *login : "";
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

// The text streamed from memory, `chunk` bytes at a time, through `sieve`.
std::optional<cli::SavedTopData> streamed(const std::string& text, std::size_t chunk,
                                          cli::AccountSieve* sieve) {
  return cli::stream_snapshot(vt::base::json::text_reader(text), sieve, chunk,
                              cli::kSnapshotMaxBytes, text.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(vt::fuzz::as_text(data, size));
  auto snapshot = cli::decode_snapshot(text);
  const std::size_t choice = std::hash<std::string_view>{}(text);
  const auto bit = [choice](int n) { return ((choice >> n) & 1) != 0; };
  const std::size_t chunk = 1 + (choice >> 32) % 97;
  if (const auto stream = streamed(text, chunk, nullptr)) {
    if (!snapshot || vt::fuzz::dump_snapshot(*stream) != vt::fuzz::dump_snapshot(*snapshot)) {
      std::abort();
    }
  }
  if (!snapshot) {
    const cli::LoginNames none;
    cli::AccountSieve sieve;
    sieve.login_names = &none;
    const auto sieved = cli::decode_snapshot(text, sieve);
    if (sieved || sieved.error() != snapshot.error()) std::abort();
    return 0;
  }
  // Only UTF-8 decodes: the command checks it again only to word a failure.
  if (!vt::base::is_utf8(text)) std::abort();

  const std::vector<cli::TopUser>& users = snapshot->users;
  const auto passwd = passwd_of(users, bit(24));
  cli::LoginNames login_names;
  for (const auto& [uid, name] : passwd) cli::add_login_name(login_names, uid, name, nullptr);

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
  std::optional<std::vector<std::string>> reseller_users;
  if (bit(4) && !users.empty()) {
    command.for_reseller = users.back().reseller;
    if (bit(5)) {
      reseller_users.emplace();
      for (const cli::TopUser& user : users) {
        const std::string* name = cli::account_name(user, login_names);
        if (name != nullptr && user.id % 2 == 1) reseller_users->push_back(*name);
      }
    }
  }
  if (bit(7)) command.username = "1";
  if (bit(8)) command.domain = ".example";

  // Everything the run knows before the snapshot, and the sieve made of it;
  // the reseller's list comes later.
  const cli::Visibility visibility{bit(0), bit(1), 1000, 60000};
  const bool mysql_in_report = bit(20);
  const auto allowed = cli::names_known_before_the_panel(caller, command.for_reseller);
  // The login names the sieve decides with, and those the run goes on with.
  cli::LoginNames sieve_names;
  if (allowed) {
    const auto* needed = mysql_in_report ? nullptr : cli::login_names_for_scope(*allowed);
    for (const auto& [uid, name] : passwd) cli::add_login_name(sieve_names, uid, name, needed);
  }
  cli::AccountSieve sieve{.visibility = visibility,
                          .allowed = allowed ? &*allowed : nullptr,
                          .login_names = &sieve_names,
                          .keep_domains = command.domains,
                          .note_usernames = mysql_in_report,
                          .visible_ids = {},
                          .visible_usernames = {}};
  cli::AccountSieve stream_sieve = sieve;
  auto sieved = cli::decode_snapshot(text, sieve);
  if (!sieved) std::abort();
  if (const auto stream = streamed(text, chunk, &stream_sieve)) {
    if (vt::fuzz::dump_snapshot(*stream) != vt::fuzz::dump_snapshot(*sieved) ||
        stream_sieve.visible_ids != sieve.visible_ids ||
        stream_sieve.visible_usernames != sieve.visible_usernames) {
      std::abort();
    }
  }
  if (!allowed) sieve_names = login_names;

  // What the sieve must have noted: every visible account's id and name.
  std::vector<std::uint32_t> visible_ids;
  std::vector<std::string> mysql_names;
  std::vector<cli::TopUser> visible;
  for (const cli::TopUser& user : users) {
    if (!cli::is_visible(visibility, user.id)) continue;
    visible_ids.push_back(user.id);
    const std::string* name = cli::account_name(user, login_names);
    if (name != nullptr && !name->empty() && *name != cli::kNotAvailable) {
      mysql_names.push_back(*name);
    }
    visible.push_back(user);
  }
  if (sieve.visible_ids != visible_ids) std::abort();
  if (mysql_in_report &&
      cli::mysql_names(sieve.visible_ids, sieve.visible_usernames, sieve_names) != mysql_names) {
    std::abort();
  }

  std::string documents[2];
  for (int sieved_run = 0; sieved_run < 2; ++sieved_run) {
    cli::Sources sources;
    sources.snapshot = sieved_run ? std::move(*sieved) : *snapshot;
    if (!sieved_run) sources.snapshot.users = visible;
    add_account_sources(sources, visible, login_names);
    sources.login_names = sieved_run ? sieve_names : login_names;
    sources.reseller_users = reseller_users;
    if (caller.is_root && bit(6) && !users.empty()) sources.admins.insert(users.front().username);
    sources.tessel_mode = bit(9) ? "all" : "none";
    sources.mysql_in_report = mysql_in_report;
    sources.tessel.status = bit(22) ? "enabled" : "error";
    if (bit(23)) {
      sources.tessel.warning = "tslctl error: %(output)s";
      sources.tessel.context = nlohmann::json{{"output", "cannot connect"}};
    }
    documents[sieved_run] = vt::base::write_json(report::assemble_report(sources, command, caller));
  }
  // The sieve changes nothing the caller sees.
  if (documents[0] != documents[1]) std::abort();
  // The document is one JSON value and a line feed.
  const std::string& document = documents[0];
  if (document.empty() || document.back() != '\n') std::abort();
  if (!nlohmann::json::accept(document)) std::abort();
  return 0;
}

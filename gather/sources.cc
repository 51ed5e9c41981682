#include "gather/sources.h"

#include <algorithm>
#include <iterator>

#include "core/config.h"
#include "core/identity.h"
#include "gather/sieve.h"
#include "gather/timestamp_file.h"

namespace vt::gather {
namespace {

// The login names of the ids whose name is one of `only` (nullptr: of
// all), with room made for `expected` of them.
LoginNames login_names_of_accounts(std::uint32_t uid_min,
                                   const std::unordered_set<std::string>* only,
                                   std::size_t expected = 0) {
  LoginNames names;
  names.reserve(expected);
  core::for_each_login_user(uid_min, [&](std::uint32_t uid, std::string_view name) {
    add_login_name(names, uid, name, only);
  });
  return names;
}

// Domain and reseller of each visible account, from the control panel.
std::expected<PanelAccounts, std::string> panel_accounts(const std::string& helper,
                                                         const std::vector<std::uint32_t>& ids) {
  PanelAccounts panel;
  auto found = plugins::lookup_users(helper, ids);
  if (!found) return std::unexpected(std::move(found.error()));
  for (auto& info : found->users) {
    PanelAccount& account = panel[info.uid];
    account.domain = info.domain.empty() ? kNotAvailable : std::move(info.domain);
    account.reseller = info.reseller.empty() ? kNotAvailable : std::move(info.reseller);
  }
  return panel;
}

std::expected<std::unordered_set<std::string>, std::string> panel_admins(
    const std::string& helper) {
  auto admins = plugins::list_admins(helper);
  if (!admins) return std::unexpected(std::move(admins.error()));
  return std::unordered_set<std::string>{std::make_move_iterator(admins->begin()),
                                         std::make_move_iterator(admins->end())};
}

// Keeps what `got` holds in `into`, or notes why it holds nothing.
template <typename Value>
void absorb(std::expected<Value, std::string>&& got, Value& into, Source source,
            std::vector<SourceOutcome>& consulted) {
  if (got) {
    into = std::move(*got);
    consulted.push_back({source, {}});
  } else {
    consulted.push_back({source, std::move(got.error())});
  }
}

}  // namespace

std::expected<Sources, base::Error> gather_sources(const Scope& scope, const CallerIdentity& caller,
                                                   const Programs& programs,
                                                   const PanelAnswers* reuse) {
  Sources sources;
  std::vector<SourceOutcome>& consulted = sources.consulted;
  // A root caller has passed the namespace check: no need to ask again.
  sources.tessel = core::tessel_service_status(programs.tslctl, caller.is_root);
  auto mode = core::ask_tessel_mode(programs.tsl_helper);
  std::string tessel_helper_failure = mode ? "" : "tessel-mode: " + mode.error();
  sources.tessel_mode = std::move(mode).value_or("none");
  sources.mysql_in_report = sources.tessel.status == "enabled" && scope.with_mysql;

  // What decides which accounts the caller may see, as far as it asks no
  // helper, comes first, so that the snapshot's other accounts are checked
  // but never kept. A reseller's accounts are known only from the panel,
  // which is asked after the MySQL figures: his run keeps every visible
  // account, as root's does, and the walk applies his list.
  const core::StatsConfig config = core::load_stats_config(kStatsConfigPath);
  const core::LoginRange login_range = core::login_range();
  const auto allowed = names_known_before_the_panel(caller, scope.for_reseller);
  // Whose accounts a caller who may not see all of them sees depends on
  // login names: those of the names it may see will do, unless the tessel
  // helper is to be asked about every account by name.
  if (allowed) {
    sources.login_names = login_names_of_accounts(
        login_range.min, sources.mysql_in_report ? nullptr : login_names_for_scope(*allowed));
  }

  AccountSieve sieve{.visibility = {.use_big_uids = config.use_big_uids,
                                    .hide_outside_range = config.hide_kob_more_than_maxuid,
                                    .uid_min = login_range.min,
                                    .uid_max = login_range.max},
                     .allowed = allowed ? &*allowed : nullptr,
                     .login_names = &sources.login_names,
                     .keep_domains = scope.keep_domains,
                     .note_usernames = sources.mysql_in_report,
                     .visible_ids = {},
                     .visible_usernames = {}};
  auto snapshot = load_snapshot(kSnapshotPath, epoch_seconds_now(), &sieve);
  if (!snapshot) return std::unexpected(std::move(snapshot.error()));
  sources.snapshot = std::move(snapshot->data);
  sources.visible_ids = std::move(sieve.visible_ids);
  consulted.push_back({Source::snapshot, std::move(snapshot->unread)});
  // The login names of a run that keeps every visible account come after
  // the snapshot, so that its peak does not hold them and every record at
  // once.
  if (!allowed) {
    sources.login_names =
        login_names_of_accounts(login_range.min, nullptr, sources.visible_ids.size());
  }

  sources.panel_reused =
      reuse != nullptr && std::ranges::all_of(sources.visible_ids, [&](std::uint32_t id) {
        return reuse->asked.contains(id);
      });
  if (sources.panel_reused) {
    sources.panel = reuse->panel;
    sources.admins = reuse->admins;
  } else {
    absorb(panel_accounts(programs.plexa_helper, sources.visible_ids), sources.panel,
           Source::panel_names, consulted);
    if (caller.is_root) {
      absorb(panel_admins(programs.plexa_helper), sources.admins, Source::panel_admins, consulted);
    }
  }

  // MySQL figures: the saved ones where they order the report ("mysql_cpu"
  // and "mysql_io") or are merged into it, the live ones and the limits
  // only when they are merged.
  if (sources.mysql_in_report || scope.order == Usage::mysql_cpu ||
      scope.order == Usage::mysql_io) {
    absorb(core::load_tsltop_file(core::kTsltopSnapshotPath), sources.mysql_stats,
           Source::mysql_stats, consulted);
  }
  if (sources.mysql_in_report) {
    if (auto merged = core::merge_tsltop_command(sources.mysql_stats, programs.tsltop); !merged) {
      SourceOutcome& stats = consulted.back();
      if (stats.failure.empty()) stats.failure = programs.tsltop + " -c: " + merged.error();
    }
  }

  if (scope.for_reseller) {
    if (auto listed = plugins::list_reseller_users(programs.plexa_helper, *scope.for_reseller)) {
      sources.reseller_users = std::move(*listed);
    }
  }
  if (sources.mysql_in_report) {
    auto limits = plugins::query_tsl_limits(
        programs.tsl_helper,
        mysql_names(sources.visible_ids, sieve.visible_usernames, sources.login_names));
    if (limits) {
      sources.tessel_limits = std::move(*limits);
    } else if (tessel_helper_failure.empty()) {
      tessel_helper_failure = "limits: " + limits.error();
    }
    consulted.push_back({Source::tessel_helper, std::move(tessel_helper_failure)});
  }
  return sources;
}

std::expected<Sources, base::Error> touch_and_gather(const Scope& scope,
                                                     const CallerIdentity& caller,
                                                     const Programs& programs,
                                                     const PanelAnswers* reuse) {
  if (touches_timestamp(caller, scope.for_reseller)) touch_timestamp_file(kTesselTimestampPath);
  return gather_sources(scope, caller, programs, reuse);
}

}  // namespace vt::gather

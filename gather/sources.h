#pragma once
// Everything a report is made of, gathered once per run from the files,
// the password database and the helper programs.
#include <array>
#include <cstddef>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "base/error.h"
#include "core/tessel_status.h"
#include "core/tsltop.h"
#include "gather/access.h"
#include "gather/fill_in.h"
#include "gather/scope.h"
#include "gather/selection.h"
#include "gather/snapshot.h"
#include "plugins/plexa.h"
#include "plugins/tsl_helper.h"
#include "plugins/tsl_limits.h"

namespace vt::gather {

/// The statistics service's configuration.
inline constexpr const char* kStatsConfigPath = "/etc/sysconfig/kobstats2";

/// The external programs a run uses; the real ones by default. Tests name
/// stand-ins instead.
struct Programs {
  std::string plexa_helper = plugins::kPlexaHelperPath;
  std::string tsl_helper = plugins::kTslHelperPath;
  std::string tslctl = core::kTslctlProgram;
  std::string tsltop = core::kTsltopProgram;
};

/// The inputs whose failures a run absorbs into empty or default values:
/// the JSON report carries on without them, the metrics and the live view
/// report each one. The statistics service is checked by the commands
/// themselves, before they gather.
enum class Source {
  stats_service,
  snapshot,
  panel_names,
  panel_admins,
  tessel_helper,
  mysql_stats
};

struct SourceName {
  Source source;
  std::string_view label;  ///< in vorlane_source_up and the metrics' errors
  std::string_view title;  ///< in the live view
};

/// Every source, in the order of the enum.
inline constexpr std::array<SourceName, 6> kSources = {{
    {Source::stats_service, "stats_service", "statistics service"},
    {Source::snapshot, "snapshot", "snapshot"},
    {Source::panel_names, "panel_names", "panel names"},
    {Source::panel_admins, "panel_admins", "panel admins"},
    {Source::tessel_helper, "tessel_helper", "tessel helper"},
    {Source::mysql_stats, "mysql_stats", "MySQL statistics"},
}};
static_assert([] {
  for (std::size_t i = 0; i < kSources.size(); ++i) {
    if (static_cast<std::size_t>(kSources[i].source) != i) return false;
  }
  return true;
}());

constexpr const SourceName& source_name(Source source) {
  return kSources[static_cast<std::size_t>(source)];
}

/// A source that the run consulted, and why it failed; `failure` is empty
/// when it answered.
struct SourceOutcome {
  Source source;
  std::string failure;
};

/// The control panel's answers of an earlier gathering, which a command
/// that gathers again and again may give back instead of asking anew.
struct PanelAnswers {
  PanelAccounts panel;
  std::unordered_set<std::string> admins;
  std::unordered_set<std::int64_t> asked;  ///< the uids that `panel` answered for
};

struct Sources {
  core::TesselStatus tessel;
  std::string tessel_mode = "none";
  /// The snapshot's accounts that can reach the caller's report: in the
  /// login range, and, without --for-reseller, named as the caller may see.
  SavedTopData snapshot;
  /// The ids of all the snapshot's accounts in the login range, in snapshot
  /// order, whether or not the caller may see them.
  std::vector<std::uint32_t> visible_ids;
  /// User ids to login names: all of them, or, where nothing else needs
  /// them, only those of the names the caller may see.
  LoginNames login_names;
  PanelAccounts panel;
  std::unordered_set<std::string> admins;  ///< root's runs only
  core::DbTslStatsByName mysql_stats;
  bool mysql_in_report = false;  ///< the MySQL figures and limits go into the report
  plugins::TslLimitsByName tessel_limits;
  /// With --for-reseller: the panel's list of the reseller's accounts, if
  /// it could be had.
  std::optional<std::vector<std::string>> reseller_users;
  /// Whether `panel` and `admins` came from earlier answers.
  bool panel_reused = false;
  /// The sources above that the run consulted, in its order. The tessel
  /// helper and the MySQL figures count only where they go into the
  /// report: "none" is the mode of a server without the tessel service.
  std::vector<SourceOutcome> consulted;
};

/// Gathers the sources of the report of `caller`, in the run's order: the
/// tessel status and mode; what decides which accounts the caller may see
/// and asks no helper (the configuration and the login range, login names);
/// the snapshot (the one failure that ends a run: "Failed to parse ..."), of
/// which only those accounts are kept; the panel's accounts and (for root)
/// admins, the MySQL figures, the reseller's accounts and the MySQL limits.
/// Every other failure is absorbed into an empty or default value, and
/// noted in `consulted`. With `reuse` answering for every visible uid, the
/// panel is not asked for names and admins, and they are not noted.
std::expected<Sources, base::Error> gather_sources(const Scope& scope, const CallerIdentity& caller,
                                                   const Programs& programs,
                                                   const PanelAnswers* reuse = nullptr);

/// The sources of `caller`'s report, after the time-stamp touch that
/// privileged runs make.
std::expected<Sources, base::Error> touch_and_gather(const Scope& scope,
                                                     const CallerIdentity& caller,
                                                     const Programs& programs,
                                                     const PanelAnswers* reuse = nullptr);

}  // namespace vt::gather

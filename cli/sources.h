#pragma once
// Everything a report is made of, gathered once per run from the files,
// the password database and the helper programs.
#include <cstddef>
#include <expected>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "base/error.h"
#include "cli/access.h"
#include "cli/fill_in.h"
#include "cli/options.h"
#include "cli/selection.h"
#include "cli/snapshot.h"
#include "core/tessel_status.h"
#include "core/tsltop.h"
#include "plugins/plexa.h"
#include "plugins/tsl_helper.h"
#include "plugins/tsl_limits.h"

namespace vt::cli {

/// The external programs a run uses; the real ones by default. Tests name
/// stand-ins instead.
struct Programs {
  std::string plexa_helper = plugins::kPlexaHelperPath;
  std::string tsl_helper = plugins::kTslHelperPath;
  std::string tslctl = core::kTslctlProgram;
  std::string tsltop = core::kTsltopProgram;
};

struct Sources {
  core::TesselStatus tessel;
  std::string tessel_mode = "none";
  SavedTopData snapshot;
  std::vector<std::size_t> visible;  ///< positions of the accounts in the login range
  LoginNames login_names;
  PanelAccounts panel;
  std::unordered_set<std::string> admins;  ///< root's runs only
  core::DbTslStatsByName mysql_stats;
  bool mysql_in_report = false;  ///< the MySQL figures and limits go into the report
  plugins::TslLimitsByName tessel_limits;
  /// With --for-reseller: the panel's list of the reseller's accounts, if
  /// it could be had.
  std::optional<std::vector<std::string>> reseller_users;
};

/// Gathers the sources of the report of `caller`, in the run's order: the
/// tessel status and mode, the snapshot (the one failure that ends a run:
/// "Failed to parse ..."), the configuration and the login range, login
/// names, the panel's accounts and (for root) admins, the MySQL figures,
/// the reseller's accounts and the MySQL limits. Every other failure is
/// absorbed into an empty or default value.
std::expected<Sources, base::Error> gather_sources(const Cli& cli, const CallerIdentity& caller,
                                                   const Programs& programs);

}  // namespace vt::cli

#pragma once
// Filling in the accounts that reach the report from the other sources
// (domain lists, missing names, MySQL figures, limits and restrictions), and
// building the reseller entries.
#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/tsltop.h"
#include "gather/access.h"
#include "gather/selection.h"
#include "gather/snapshot.h"
#include "plugins/tsl_limits.h"

namespace vt::gather {

/// The text that stands for a name, domain or reseller no source supplied.
inline constexpr const char* kNotAvailable = "N/A";

struct PanelAccount {
  std::string domain;    ///< "N/A" where the panel gave none
  std::string reseller;  ///< "N/A" where the panel gave none
};

/// User id (as the control panel gives it) to the panel's account data.
using PanelAccounts = std::unordered_map<std::int64_t, PanelAccount>;

/// Empties the user's domain list unless per-domain usage was asked for.
void remove_domains(TopUser& user, bool keep_domains);

/// An empty username becomes the login name of the id, or "N/A".
void fill_username(TopUser& user, const LoginNames& login_names);

/// Fills an empty domain and reseller from the control panel, or "N/A";
/// a user named "N/A" gets "N/A" for both.
void fill_domain_and_reseller(TopUser& user, const PanelAccounts& panel);

/// The MySQL sources of a run and how they are merged.
struct MysqlMerge {
  const core::DbTslStatsByName& stats;
  const plugins::TslLimitsByName& limits;
  const std::string& mode;  ///< the tessel mode: "all" merges differently
};

/// Sets the user's MySQL usage, limits and restriction from the MySQL
/// sources, by its (filled) username.
void merge_mysql(TopUser& user, const MysqlMerge& mysql);

/// The names for which the tessel helper is asked: of each account, given
/// by its id and its username as the snapshot gives it, the username or
/// else its login name; accounts without a name, and "N/A", left out.
std::vector<std::string> mysql_names(const std::vector<std::uint32_t>& ids,
                                     const std::vector<std::string>& usernames,
                                     const LoginNames& login_names);

/// The "resellers" array of the report: empty for a caller without full
/// rights; otherwise the snapshot's entries with their names filled in,
/// and with --for-reseller only the entries of that reseller.
std::vector<nlohmann::json> reseller_entries(const std::vector<nlohmann::json>& resellers,
                                             const CallerIdentity& caller,
                                             const std::optional<std::string>& for_reseller,
                                             const LoginNames& login_names);

/// Removes a user's MySQL figures and restriction (--hide-mysql): the four
/// "mysql" values become null, "restricted" false, the restriction goes.
void strip_mysql(TopUser& user);

}  // namespace vt::gather

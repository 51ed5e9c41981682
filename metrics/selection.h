#pragma once
// Which accounts the metrics export: the bounded selection.
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "gather/figures.h"
#include "gather/snapshot.h"

namespace vt::metrics {

/// The most accounts --all-accounts exports. A file of that many accounts
/// is 11 to 13 MB, about 53 MB with the longest label values and every
/// usage at its limit, which node_exporter served in 1.7 to 2.9 s on two
/// cores, well within Prometheus's default scrape timeout of 10 s; 100,000
/// accounts took 24.5 s.
inline constexpr std::uint64_t kAllAccountsMax = 10'000;

struct SelectionBounds {
  std::uint64_t top = 10;            ///< --top: accounts per sort order
  double near_limit = 0.9;           ///< --near-limit: the fraction of a limit
  std::uint64_t max_accounts = 300;  ///< --max-accounts: the cap
  bool all_accounts = false;         ///< --all-accounts: every account, up to kAllAccountsMax
};

/// The cap in force: `max_accounts`, or kAllAccountsMax with --all-accounts.
std::uint64_t export_max(const SelectionBounds& bounds);

struct Selection {
  /// Positions in the accounts of those to export, by increasing user id.
  std::vector<std::size_t> exported;
  /// For each figure, how many of all the accounts have reached
  /// `near_limit` of its limit.
  std::array<std::uint64_t, gather::kUsageCount> near_limit{};
  /// How many of all the accounts are restricted in MySQL.
  std::uint64_t restricted = 0;
  /// How many accounts the selection chose before the cap: more than
  /// `exported` holds when the cap cut it.
  std::uint64_t selected = 0;
};

/// A user id that the snapshot repeats is one account, its first record:
/// `accounts` without the later records of each user id, in their order.
std::vector<gather::TopUser> one_per_uid(std::vector<gather::TopUser> accounts);

/// The accounts to export and the counts, in one pass over `accounts`,
/// which hold one record per user id (one_per_uid). The selection is the union of the top `top`
/// accounts of each of the eight usages (greatest first, ties in `accounts`
/// order, accounts without the sample not ranked), the accounts restricted
/// in MySQL and the accounts near any limit (with `all_accounts`: every
/// account). The cap (`export_max`) keeps them in that order: the top
/// accounts by their best rank, so that every usage's top `top` stays
/// whole; then the restricted ones; then those at a limit (usage at or
/// above it), those near one, and the others. Within each group after the
/// top, ties go by user id, not by figures that move from run to run: a
/// server whose figures move a little keeps exporting the same accounts.
Selection select_accounts(const std::vector<gather::TopUser>& accounts,
                          const SelectionBounds& bounds);

}  // namespace vt::metrics

#pragma once
// Which accounts the metrics export: the bounded selection.
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "cli/metrics_figures.h"
#include "cli/snapshot.h"

namespace vt::cli {

/// The most accounts --all-accounts exports. A file of that many accounts
/// is about 11 MB, 36 MB with the longest label values, which
/// node_exporter served in under 2 s on two cores, well within
/// Prometheus's default scrape timeout of 10 s; 100,000 accounts took
/// 24.5 s.
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
  /// For each of the first kLimitFigureCount figures, how many of all the
  /// accounts have reached `near_limit` of its limit.
  std::array<std::uint64_t, kLimitFigureCount> near_limit{};
};

/// The accounts to export, one per user id (the first), and the near-limit
/// counts, in one pass over the accounts: the union of the top `top`
/// accounts of each of the eight usages (greatest first, ties in `accounts`
/// order, accounts without the sample not ranked), the accounts near any of
/// the first kLimitFigureCount limits and the accounts restricted in MySQL
/// (with `all_accounts`: every account), capped at `export_max`. The cap
/// keeps the top accounts first, by their best rank, then the others by
/// closeness to a limit; ties by user id.
Selection select_accounts(const std::vector<TopUser>& accounts, const SelectionBounds& bounds);

}  // namespace vt::cli

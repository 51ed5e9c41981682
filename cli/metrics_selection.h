#pragma once
// Which accounts the metrics export: the bounded selection.
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "cli/metrics_figures.h"
#include "cli/snapshot.h"

namespace vt::cli {

struct SelectionBounds {
  std::uint64_t top = 10;            ///< --top: accounts per sort order
  double near_limit = 0.9;           ///< --near-limit: the fraction of a limit
  std::uint64_t max_accounts = 300;  ///< --max-accounts: the cap
  bool all_accounts = false;         ///< --all-accounts: every account, no cap
};

struct Selection {
  /// Positions in the accounts of those to export, by increasing user id.
  std::vector<std::size_t> exported;
  /// For each of the first kLimitFigureCount figures, how many of all the
  /// accounts have reached `near_limit` of its limit.
  std::array<std::uint64_t, kLimitFigureCount> near_limit{};
};

/// The accounts to export, one per user id (the first), and the near-limit
/// counts, in one pass over the accounts. Unless `all_accounts`: the union
/// of the top `top` accounts of each of the eight usages (greatest first,
/// ties in `accounts` order, accounts without the sample not ranked), the
/// accounts near any of the first kLimitFigureCount limits and the accounts
/// restricted in MySQL, capped at `max_accounts`. The cap keeps the top
/// accounts first, by their best rank, then the others by closeness to a
/// limit; ties by user id.
Selection select_accounts(const std::vector<TopUser>& accounts, const SelectionBounds& bounds);

}  // namespace vt::cli

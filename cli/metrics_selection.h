#pragma once
// Which accounts the metrics export: the bounded selection.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "cli/snapshot.h"

namespace vt::cli {

struct SelectionBounds {
  std::uint64_t top = 10;            ///< --top: accounts per sort order
  double near_limit = 0.9;           ///< --near-limit: the fraction of a limit
  std::uint64_t max_accounts = 300;  ///< --max-accounts: the cap
  bool all_accounts = false;         ///< --all-accounts: every account, no cap
};

/// The positions in `accounts` of those to export, by increasing user id,
/// one per user id (the first). Unless `all_accounts`: the union of the top
/// `top` accounts of each of the eight usages (greatest first, ties in
/// `accounts` order, accounts without the sample not ranked), the accounts
/// near a limit and the accounts restricted in MySQL, capped at
/// `max_accounts`. The cap keeps the top accounts first, by their best
/// rank, then the others by closeness to a limit; ties by user id.
std::vector<std::size_t> select_accounts(const std::vector<TopUser>& accounts,
                                         const SelectionBounds& bounds);

}  // namespace vt::cli

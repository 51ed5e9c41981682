#include "cli/metrics_selection.h"

#include <algorithm>
#include <limits>
#include <numeric>

#include "cli/metrics_figures.h"

namespace vt::cli {
namespace {

constexpr std::uint64_t kUnranked = std::numeric_limits<std::uint64_t>::max();

// Each account's best rank among the top `top` of any usage, kUnranked for
// the others. partial_sort keeps the work near one pass per usage.
std::vector<std::uint64_t> best_ranks(const std::vector<TopUser>& accounts, std::uint64_t top) {
  struct Keyed {
    double value;
    std::size_t position;
  };
  std::vector<std::uint64_t> ranks(accounts.size(), kUnranked);
  std::vector<Keyed> keyed;
  keyed.reserve(accounts.size());
  for (const AccountFigure& figure : kAccountFigures) {
    keyed.clear();
    for (std::size_t i = 0; i < accounts.size(); ++i) {
      if (const auto value = figure.usage(accounts[i])) keyed.push_back({*value, i});
    }
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(top, keyed.size()));
    std::partial_sort(keyed.begin(), keyed.begin() + static_cast<std::ptrdiff_t>(n), keyed.end(),
                      [](const Keyed& a, const Keyed& b) {
                        return a.value != b.value ? a.value > b.value : a.position < b.position;
                      });
    for (std::size_t r = 0; r < n; ++r) {
      std::uint64_t& rank = ranks[keyed[r].position];
      rank = std::min<std::uint64_t>(rank, r);
    }
  }
  return ranks;
}

// The bounded selection, in the cap's order, not yet cut.
std::vector<std::size_t> bounded(const std::vector<TopUser>& accounts,
                                 const SelectionBounds& bounds) {
  const std::vector<std::uint64_t> ranks = best_ranks(accounts, bounds.top);
  const auto by_uid = [&](std::size_t a, std::size_t b) {
    return accounts[a].id != accounts[b].id ? accounts[a].id < accounts[b].id : a < b;
  };

  std::vector<std::size_t> chosen;
  for (std::size_t i = 0; i < accounts.size(); ++i) {
    if (ranks[i] != kUnranked) chosen.push_back(i);
  }
  std::sort(chosen.begin(), chosen.end(), [&](std::size_t a, std::size_t b) {
    return ranks[a] != ranks[b] ? ranks[a] < ranks[b] : by_uid(a, b);
  });
  if (chosen.size() >= bounds.max_accounts) {
    chosen.resize(static_cast<std::size_t>(bounds.max_accounts));
    return chosen;
  }

  struct Near {
    double closeness;
    std::size_t position;
  };
  std::vector<Near> others;
  for (std::size_t i = 0; i < accounts.size(); ++i) {
    if (ranks[i] != kUnranked) continue;
    if (accounts[i].restricted || near_a_limit(accounts[i], bounds.near_limit)) {
      others.push_back({closeness(accounts[i]), i});
    }
  }
  const std::size_t room =
      std::min(others.size(), static_cast<std::size_t>(bounds.max_accounts - chosen.size()));
  std::partial_sort(others.begin(), others.begin() + static_cast<std::ptrdiff_t>(room),
                    others.end(), [&](const Near& a, const Near& b) {
                      return a.closeness != b.closeness ? a.closeness > b.closeness
                                                        : by_uid(a.position, b.position);
                    });
  for (std::size_t k = 0; k < room; ++k) chosen.push_back(others[k].position);
  return chosen;
}

}  // namespace

std::vector<std::size_t> select_accounts(const std::vector<TopUser>& accounts,
                                         const SelectionBounds& bounds) {
  std::vector<std::size_t> chosen;
  if (bounds.all_accounts) {
    chosen.resize(accounts.size());
    std::iota(chosen.begin(), chosen.end(), std::size_t{0});
  } else {
    chosen = bounded(accounts, bounds);
  }
  std::sort(chosen.begin(), chosen.end(), [&](std::size_t a, std::size_t b) {
    return accounts[a].id != accounts[b].id ? accounts[a].id < accounts[b].id : a < b;
  });
  chosen.erase(
      std::unique(chosen.begin(), chosen.end(),
                  [&](std::size_t a, std::size_t b) { return accounts[a].id == accounts[b].id; }),
      chosen.end());
  return chosen;
}

}  // namespace vt::cli

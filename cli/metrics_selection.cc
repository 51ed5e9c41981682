#include "cli/metrics_selection.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "cli/metrics_figures.h"

namespace vt::cli {
namespace {

constexpr std::uint64_t kUnranked = std::numeric_limits<std::uint64_t>::max();

struct Ranked {
  double value;
  std::size_t position;
};

// Greater value first, ties in the accounts' order.
bool ranks_before(const Ranked& a, const Ranked& b) {
  return a.value != b.value ? a.value > b.value : a.position < b.position;
}

struct Near {
  double closeness;
  std::size_t position;
};

// What one pass over the accounts finds: the top `top` of each usage, the
// accounts near a limit or restricted, and the near-limit counts.
struct Pass {
  std::array<std::vector<Ranked>, kAccountFigures.size()> top;  // best first
  std::vector<Near> near;
  std::array<std::uint64_t, kLimitFigureCount> near_limit{};
};

// Each usage's top accounts are kept in a heap whose root is the last of
// them, so most accounts cost one comparison per usage.
Pass one_pass(const std::vector<TopUser>& accounts, const SelectionBounds& bounds) {
  Pass pass;
  const auto top = static_cast<std::size_t>(std::min<std::uint64_t>(bounds.top, accounts.size()));
  for (auto& heap : pass.top) heap.reserve(top);
  for (std::size_t i = 0; i < accounts.size(); ++i) {
    const FigureValues values = figure_values(accounts[i]);
    for (std::size_t f = 0; f < kAccountFigures.size(); ++f) {
      if (std::isnan(values.usage[f]) || top == 0) continue;
      std::vector<Ranked>& heap = pass.top[f];
      const Ranked candidate{values.usage[f], i};
      if (heap.size() < top) {
        heap.push_back(candidate);
        std::push_heap(heap.begin(), heap.end(), ranks_before);
      } else if (ranks_before(candidate, heap.front())) {
        std::pop_heap(heap.begin(), heap.end(), ranks_before);
        heap.back() = candidate;
        std::push_heap(heap.begin(), heap.end(), ranks_before);
      }
    }
    bool near = false;
    const auto reached = limits_reached(values, bounds.near_limit);
    for (std::size_t f = 0; f < kLimitFigureCount; ++f) {
      pass.near_limit[f] += reached[f];
      near = near || reached[f];
    }
    if (bounds.all_accounts || near || accounts[i].restricted) {
      pass.near.push_back({closeness(values), i});
    }
  }
  for (auto& heap : pass.top) std::sort_heap(heap.begin(), heap.end(), ranks_before);
  return pass;
}

// The selection, in the cap's order, cut at the cap.
std::vector<std::size_t> bounded(const std::vector<TopUser>& accounts, std::uint64_t max,
                                 Pass& pass) {
  const auto by_uid = [&](std::size_t a, std::size_t b) {
    return accounts[a].id != accounts[b].id ? accounts[a].id < accounts[b].id : a < b;
  };

  // Each top account once, with its best rank.
  std::vector<std::uint64_t> ranks(accounts.size(), kUnranked);
  std::vector<std::size_t> chosen;
  for (const auto& heap : pass.top) {
    for (std::size_t r = 0; r < heap.size(); ++r) {
      std::uint64_t& rank = ranks[heap[r].position];
      if (rank == kUnranked) chosen.push_back(heap[r].position);
      rank = std::min<std::uint64_t>(rank, r);
    }
  }
  std::sort(chosen.begin(), chosen.end(), [&](std::size_t a, std::size_t b) {
    return ranks[a] != ranks[b] ? ranks[a] < ranks[b] : by_uid(a, b);
  });
  if (chosen.size() >= max) {
    chosen.resize(static_cast<std::size_t>(max));
    return chosen;
  }

  std::erase_if(pass.near, [&](const Near& n) { return ranks[n.position] != kUnranked; });
  const std::size_t room =
      std::min(pass.near.size(), static_cast<std::size_t>(max - chosen.size()));
  std::partial_sort(pass.near.begin(), pass.near.begin() + static_cast<std::ptrdiff_t>(room),
                    pass.near.end(), [&](const Near& a, const Near& b) {
                      return a.closeness != b.closeness ? a.closeness > b.closeness
                                                        : by_uid(a.position, b.position);
                    });
  for (std::size_t k = 0; k < room; ++k) chosen.push_back(pass.near[k].position);
  return chosen;
}

}  // namespace

std::uint64_t export_max(const SelectionBounds& bounds) {
  return bounds.all_accounts ? kAllAccountsMax : bounds.max_accounts;
}

Selection select_accounts(const std::vector<TopUser>& accounts, const SelectionBounds& bounds) {
  Pass pass = one_pass(accounts, bounds);
  std::vector<std::size_t> chosen = bounded(accounts, export_max(bounds), pass);
  std::sort(chosen.begin(), chosen.end(), [&](std::size_t a, std::size_t b) {
    return accounts[a].id != accounts[b].id ? accounts[a].id < accounts[b].id : a < b;
  });
  chosen.erase(
      std::unique(chosen.begin(), chosen.end(),
                  [&](std::size_t a, std::size_t b) { return accounts[a].id == accounts[b].id; }),
      chosen.end());
  return {std::move(chosen), pass.near_limit};
}

}  // namespace vt::cli

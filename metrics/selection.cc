#include "metrics/selection.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <limits>
#include <utility>

#include "gather/figures.h"

namespace vt::metrics {
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

using gather::TopUser;

// The accounts' order by user id (one record each).
struct ByUid {
  const std::vector<TopUser>& accounts;
  bool operator()(std::size_t a, std::size_t b) const { return accounts[a].id < accounts[b].id; }
};

// The groups after the top accounts, in the cap's order.
enum class Group : std::uint8_t { restricted, at_limit, near_limit, other };

struct Candidate {
  Group group;
  std::size_t position;
};

// What one pass over the accounts finds: the top `top` of each usage, the
// other candidates and the counts.
struct Pass {
  std::array<std::vector<Ranked>, gather::kUsageCount> top;  // best first
  std::vector<Candidate> candidates;
  std::array<std::uint64_t, gather::kUsageCount> near_limit{};
  std::uint64_t restricted = 0;
};

bool at_a_limit(const gather::FigureValues& values) {
  const auto reached = gather::limits_reached(values, 1.0);
  return std::ranges::any_of(reached, std::identity{});
}

// Each usage's top accounts are kept in a heap whose root is the last of
// them, so most accounts cost one comparison per usage.
Pass one_pass(const std::vector<gather::TopUser>& accounts, const SelectionBounds& bounds) {
  Pass pass;
  const auto top = static_cast<std::size_t>(std::min<std::uint64_t>(bounds.top, accounts.size()));
  for (auto& heap : pass.top) heap.reserve(top);
  for (std::size_t i = 0; i < accounts.size(); ++i) {
    const gather::FigureValues values = gather::figure_values(accounts[i]);
    for (std::size_t f = 0; f < gather::kUsageCount; ++f) {
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
    const auto reached = gather::limits_reached(values, bounds.near_limit);
    for (std::size_t f = 0; f < gather::kUsageCount; ++f) {
      pass.near_limit[f] += reached[f];
      near = near || reached[f];
    }
    if (accounts[i].restricted) {
      ++pass.restricted;
      pass.candidates.push_back({Group::restricted, i});
    } else if (near || bounds.all_accounts) {
      const Group group = at_a_limit(values) ? Group::at_limit
                          : near             ? Group::near_limit
                                             : Group::other;
      pass.candidates.push_back({group, i});
    }
  }
  for (auto& heap : pass.top) std::sort_heap(heap.begin(), heap.end(), ranks_before);
  return pass;
}

struct Bounded {
  std::vector<std::size_t> chosen;  // in the cap's order, cut at the cap
  std::uint64_t selected = 0;       // accounts before the cut
};

Bounded bounded(const std::vector<gather::TopUser>& accounts, std::uint64_t max, Pass& pass) {
  const ByUid by_uid{accounts};

  // Each top account once, with its best rank.
  std::vector<std::uint64_t> ranks(accounts.size(), kUnranked);
  Bounded out;
  std::vector<std::size_t>& chosen = out.chosen;
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
  std::erase_if(pass.candidates,
                [&](const Candidate& c) { return ranks[c.position] != kUnranked; });

  out.selected = chosen.size() + pass.candidates.size();

  if (chosen.size() >= max) {
    chosen.resize(static_cast<std::size_t>(max));
    return out;
  }
  const std::size_t room =
      std::min(pass.candidates.size(), static_cast<std::size_t>(max - chosen.size()));
  std::partial_sort(
      pass.candidates.begin(), pass.candidates.begin() + static_cast<std::ptrdiff_t>(room),
      pass.candidates.end(), [&](const Candidate& a, const Candidate& b) {
        return a.group != b.group ? a.group < b.group : by_uid(a.position, b.position);
      });
  for (std::size_t k = 0; k < room; ++k) chosen.push_back(pass.candidates[k].position);
  return out;
}

}  // namespace

std::uint64_t export_max(const SelectionBounds& bounds) {
  return bounds.all_accounts ? kAllAccountsMax : bounds.max_accounts;
}

std::vector<TopUser> one_per_uid(std::vector<TopUser> accounts) {
  // Most snapshots list each user id once, in increasing order.
  if (std::ranges::adjacent_find(accounts, std::greater_equal{}, &TopUser::id) == accounts.end()) {
    return accounts;
  }
  // Sorted (id, position) pairs find the later records of an id at a
  // fraction of what a hash set of a million ids costs.
  std::vector<std::pair<std::uint32_t, std::size_t>> keyed;
  keyed.reserve(accounts.size());
  for (std::size_t i = 0; i < accounts.size(); ++i) keyed.emplace_back(accounts[i].id, i);
  std::ranges::sort(keyed);
  std::vector<bool> later(accounts.size());
  for (std::size_t k = 1; k < keyed.size(); ++k) {
    if (keyed[k].first == keyed[k - 1].first) later[keyed[k].second] = true;
  }
  std::size_t kept = 0;
  for (std::size_t i = 0; i < accounts.size(); ++i) {
    if (later[i]) continue;
    if (kept != i) accounts[kept] = std::move(accounts[i]);
    ++kept;
  }
  accounts.erase(accounts.begin() + static_cast<std::ptrdiff_t>(kept), accounts.end());
  return accounts;
}

Selection select_accounts(const std::vector<TopUser>& accounts, const SelectionBounds& bounds) {
  Pass pass = one_pass(accounts, bounds);
  Bounded cut = bounded(accounts, export_max(bounds), pass);
  std::sort(cut.chosen.begin(), cut.chosen.end(), ByUid{accounts});
  return {std::move(cut.chosen), pass.near_limit, pass.restricted, cut.selected};
}

}  // namespace vt::metrics

#include "gather/selection.h"

#include <algorithm>
#include <cmath>

#include "base/case.h"

namespace vt::gather {
namespace {

const core::DbTslStats* mysql_entry(const TopUser& user, const core::DbTslStatsByName& mysql_stats,
                                    const LoginNames& login_names) {
  const std::string* name = account_name(user, login_names);
  const auto entry = mysql_stats.find(name != nullptr ? *name : std::string());
  return entry == mysql_stats.end() ? nullptr : &entry->second;
}

// Greatest key first, NaN after every number, then by position: a total
// order, so that any sort gives what a stable sort by key alone would.
bool before(const UserOrder::Keyed& a, const UserOrder::Keyed& b) {
  const bool a_nan = std::isnan(a.key);
  const bool b_nan = std::isnan(b.key);
  if (a_nan != b_nan) return b_nan;
  if (!a_nan && a.key != b.key) return a.key > b.key;
  return a.position < b.position;
}

// The least a partial ordering orders at once.
constexpr std::size_t kStretch = 64;

}  // namespace

void add_login_name(LoginNames& names, std::uint32_t uid, std::string_view name,
                    const std::unordered_set<std::string>* only) {
  if (only == nullptr || only->contains(std::string(name))) {
    names[uid] = name;
  } else {
    names.erase(uid);
  }
}

const std::string* login_name(const LoginNames& login_names, std::uint32_t id) {
  const auto found = login_names.find(id);
  return found == login_names.end() ? nullptr : &found->second;
}

const std::string* account_name(const TopUser& user, const LoginNames& login_names) {
  if (!user.username.empty()) return &user.username;
  return login_name(login_names, user.id);
}

bool is_visible(const Visibility& visibility, std::uint32_t id) {
  const std::uint32_t highest_hidden = visibility.use_big_uids ? 2147483647u : 1000000000u;
  const bool hidden = id <= highest_hidden && (id < visibility.uid_min || id > visibility.uid_max);
  return !visibility.hide_outside_range || !hidden;
}

Usage sort_key_named(std::string_view order_by) {
  // The letters of the sort names are plain ASCII, which no other character
  // lower-cases into: a name matches whatever its letter case.
  const std::string name = base::lower_for_compare(order_by);
  for (const UsageColumn& column : kUsages) {
    if (name == column.sort_name) return column.usage;
  }
  return Usage::cpu;
}

double sort_key(const TopUser& user, Usage key, const core::DbTslStatsByName& mysql_stats,
                const LoginNames& login_names) {
  if (key != Usage::mysql_cpu && key != Usage::mysql_io) {
    return usage_column(key).figure(user.usage);
  }
  const core::DbTslStats* stats = mysql_entry(user, mysql_stats, login_names);
  if (stats == nullptr) return 0.0;
  return key == Usage::mysql_cpu ? stats->cpu : stats->io;
}

UserOrder snapshot_order(std::size_t count) {
  return {.count = count, .keyed = {}, .ordered = 0};
}

UserOrder order_users(const std::vector<TopUser>& users, Usage key,
                      const core::DbTslStatsByName& mysql_stats, const LoginNames& login_names,
                      std::uint64_t wanted) {
  UserOrder order{.count = users.size(), .keyed = {}, .ordered = 0};
  // Each key next to its position, so that the ordering reads memory in order.
  order.keyed.reserve(users.size());
  for (std::size_t i = 0; i < users.size(); ++i) {
    order.keyed.push_back({sort_key(users[i], key, mysql_stats, login_names), i});
  }
  // A walk that will read most of the order gets all of it at once.
  if (wanted >= users.size() / 4) {
    std::sort(order.keyed.begin(), order.keyed.end(), before);
    order.ordered = users.size();
  } else if (wanted > 0) {
    (void)position_at(order, static_cast<std::size_t>(wanted) - 1);
  }
  return order;
}

std::size_t position_at(UserOrder& order, std::size_t rank) {
  if (order.keyed.empty()) return rank;
  if (rank >= order.ordered) {
    // Each stretch at least doubles what is ordered.
    const std::size_t end =
        std::min(order.count, std::max({rank + 1, 2 * order.ordered, kStretch}));
    const auto first = order.keyed.begin();
    std::partial_sort(first + static_cast<std::ptrdiff_t>(order.ordered),
                      first + static_cast<std::ptrdiff_t>(end), order.keyed.end(), before);
    order.ordered = end;
  }
  return order.keyed[rank].position;
}

}  // namespace vt::gather

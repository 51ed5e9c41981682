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

}  // namespace

const std::string* login_name(const LoginNames& login_names, std::uint32_t id) {
  const auto found = login_names.find(id);
  return found == login_names.end() ? nullptr : &found->second;
}

const std::string* account_name(const TopUser& user, const LoginNames& login_names) {
  if (!user.username.empty()) return &user.username;
  return login_name(login_names, user.id);
}

std::vector<std::size_t> visible_accounts(const std::vector<TopUser>& users, bool use_big_uids,
                                          bool hide_outside_range, std::uint32_t uid_min,
                                          std::uint32_t uid_max) {
  const std::uint32_t highest_hidden = use_big_uids ? 2147483647u : 1000000000u;
  std::vector<std::size_t> positions;
  positions.reserve(users.size());
  for (std::size_t i = 0; i < users.size(); ++i) {
    const std::uint32_t id = users[i].id;
    const bool hidden = id <= highest_hidden && (id < uid_min || id > uid_max);
    if (!hide_outside_range || !hidden) positions.push_back(i);
  }
  return positions;
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

std::vector<std::size_t> order_users(const std::vector<TopUser>& users,
                                     std::vector<std::size_t> positions, Usage key,
                                     const core::DbTslStatsByName& mysql_stats,
                                     const LoginNames& login_names) {
  // Each key next to its position, so that the sort reads memory in order.
  struct Keyed {
    double key;
    std::size_t position;
  };
  std::vector<Keyed> keyed;
  keyed.reserve(positions.size());
  for (const std::size_t i : positions) {
    keyed.push_back({sort_key(users[i], key, mysql_stats, login_names), i});
  }
  // Greatest first, NaN after every number: a strict weak order in which
  // all NaN keys are equivalent, so the stable sort keeps their order too.
  std::stable_sort(keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) {
    if (std::isnan(a.key)) return false;
    return std::isnan(b.key) || a.key > b.key;
  });
  for (std::size_t k = 0; k < keyed.size(); ++k) positions[k] = keyed[k].position;
  return positions;
}

}  // namespace vt::gather

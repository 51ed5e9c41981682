#pragma once
// Which accounts of the snapshot reach the report, and in which order.
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/tsltop.h"
#include "gather/snapshot.h"
#include "gather/usages.h"

namespace vt::gather {

/// User id to account name, from the password database.
using LoginNames = std::unordered_map<std::uint32_t, std::string>;

/// The login name of user id `id`, or nullptr.
const std::string* login_name(const LoginNames& login_names, std::uint32_t id);

/// The name an account goes by: its username, or its login name when the
/// username is empty; nullptr when it has neither.
const std::string* account_name(const TopUser& user, const LoginNames& login_names);

/// The positions of the accounts that stay visible, in snapshot order:
/// hidden are those whose id lies outside the login range [uid_min,
/// uid_max], among the ids up to 2147483647 (with `use_big_uids`) or
/// 1000000000; larger ids always stay. None is hidden unless
/// `hide_outside_range`. The records themselves stay where they are.
std::vector<std::size_t> visible_accounts(const std::vector<TopUser>& users, bool use_big_uids,
                                          bool hide_outside_range, std::uint32_t uid_min,
                                          std::uint32_t uid_max);

/// The usage that --order-by names (its sort name), whatever its letter
/// case; names that are not sort names order by CPU.
Usage sort_key_named(std::string_view order_by);

/// The figure that orders `user` under `key`: the usage's figure, but for
/// the MySQL keys the saved MySQL statistics, which look the user up by its
/// username, or by its login name when the username is empty (0 when they
/// have no entry). Those can differ from the report's "mysql" figures.
double sort_key(const TopUser& user, Usage key, const core::DbTslStatsByName& mysql_stats,
                const LoginNames& login_names);

/// The users at `positions` in report order: by key, greatest first. The
/// sort is stable, and a key that is NaN comes after every number.
std::vector<std::size_t> order_users(const std::vector<TopUser>& users,
                                     std::vector<std::size_t> positions, Usage key,
                                     const core::DbTslStatsByName& mysql_stats,
                                     const LoginNames& login_names);

}  // namespace vt::gather

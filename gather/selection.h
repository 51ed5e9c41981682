#pragma once
// Which accounts of the snapshot reach the report, and in which order.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "core/tsltop.h"
#include "gather/snapshot.h"
#include "gather/usages.h"

namespace vt::gather {

/// User id to account name, from the password database.
using LoginNames = std::unordered_map<std::uint32_t, std::string>;

/// Takes one password entry into `names`; with `only`, just where its name
/// is one of `only`. A user id listed again keeps its later name.
void add_login_name(LoginNames& names, std::uint32_t uid, std::string_view name,
                    const std::unordered_set<std::string>* only);

/// The login name of user id `id`, or nullptr.
const std::string* login_name(const LoginNames& login_names, std::uint32_t id);

/// The name an account goes by: its username, or its login name when the
/// username is empty; nullptr when it has neither.
const std::string* account_name(const TopUser& user, const LoginNames& login_names);

/// Which accounts stay visible: hidden are those whose id lies outside the
/// login range [uid_min, uid_max], among the ids up to 2147483647 (with
/// `use_big_uids`) or 1000000000; larger ids always stay. None is hidden
/// unless `hide_outside_range`.
struct Visibility {
  bool use_big_uids = false;
  bool hide_outside_range = false;
  std::uint32_t uid_min = 0;
  std::uint32_t uid_max = 0;
};

bool is_visible(const Visibility& visibility, std::uint32_t id);

/// The usage that --order-by names (its sort name), whatever its letter
/// case; names that are not sort names order by CPU.
Usage sort_key_named(std::string_view order_by);

/// The figure that orders `user` under `key`: the usage's figure, but for
/// the MySQL keys the saved MySQL statistics, which look the user up by its
/// username, or by its login name when the username is empty (0 when they
/// have no entry). Those can differ from the report's "mysql" figures.
double sort_key(const TopUser& user, Usage key, const core::DbTslStatsByName& mysql_stats,
                const LoginNames& login_names);

/// The users in report order: by key, greatest first, a NaN key after every
/// number, equal keys in snapshot order; or, without keys, in snapshot
/// order. The order is found a stretch at a time, as far as a walk reads it.
struct UserOrder {
  struct Keyed {
    double key;
    std::size_t position;
  };
  std::size_t count = 0;
  std::vector<Keyed> keyed;  ///< empty in snapshot order
  std::size_t ordered = 0;   ///< keyed[0, ordered) are the first in order
};

/// The users of a list of `count` in snapshot order.
UserOrder snapshot_order(std::size_t count);

/// The users of `users` by `key`, of which a walk will likely read the first
/// `wanted`.
UserOrder order_users(const std::vector<TopUser>& users, Usage key,
                      const core::DbTslStatsByName& mysql_stats, const LoginNames& login_names,
                      std::uint64_t wanted);

/// The position of the user at `rank` (below `order.count`) in the order.
std::size_t position_at(UserOrder& order, std::size_t rank);

}  // namespace vt::gather

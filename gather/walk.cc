#include "gather/walk.h"

namespace vt::gather {
namespace {

// Byte-wise, case-sensitive substring test; a text that no source could
// supply matches nothing, not even the empty pattern.
bool matches(const std::string& text, const std::optional<std::string>& pattern) {
  if (!pattern) return true;
  return text != kNotAvailable && text.find(*pattern) != std::string::npos;
}

}  // namespace

bool accept_user(TopUser& user, const WalkRules& rules) {
  remove_domains(user, rules.keep_domains);
  fill_username(user, rules.login_names);
  if (rules.admins.contains(user.username)) return false;
  if (rules.allowed && !rules.allowed->contains(user.username)) return false;
  fill_domain_and_reseller(user, rules.panel);
  if (!matches(user.domain, rules.domain)) return false;
  if (!matches(user.username, rules.username)) return false;
  if (rules.mysql != nullptr) merge_mysql(user, *rules.mysql);
  return true;
}

std::vector<TopUser> walk_users(std::vector<TopUser>& users, UserOrder& order,
                                const WalkRules& rules) {
  // In place, each accepted account moves to slot `kept`, which is never
  // one still to come.
  const bool in_place = order.keyed.empty();
  std::vector<TopUser> taken;
  std::size_t kept = 0;
  for (std::size_t rank = 0; rank < order.count && kept < rules.max; ++rank) {
    const std::size_t index = position_at(order, rank);
    if (!accept_user(users[index], rules)) continue;
    if (!in_place) {
      taken.push_back(std::move(users[index]));
    } else if (index != kept) {
      users[kept] = std::move(users[index]);
    }
    ++kept;
  }
  if (!in_place) return taken;
  users.erase(users.begin() + static_cast<std::ptrdiff_t>(kept), users.end());
  return std::move(users);
}

std::vector<TopUser> accepted_accounts(Sources& sources, const Scope& scope,
                                       const CallerIdentity& caller, UserOrder& order) {
  const auto allowed = allowed_names(caller, scope.for_reseller, sources.reseller_users);
  const MysqlMerge mysql{sources.mysql_stats, sources.tessel_limits, sources.tessel_mode};
  const WalkRules rules{.login_names = sources.login_names,
                        .panel = sources.panel,
                        .admins = sources.admins,
                        .allowed = allowed,
                        .username = scope.username,
                        .domain = scope.domain,
                        .max = scope.max,
                        .keep_domains = scope.keep_domains,
                        .mysql = sources.mysql_in_report ? &mysql : nullptr};
  return walk_users(sources.snapshot.users, order, rules);
}

}  // namespace vt::gather

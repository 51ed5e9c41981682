#include "cli/walk.h"

namespace vt::cli {
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

std::vector<TopUser> walk_users(std::vector<TopUser>& users, const std::vector<std::size_t>& order,
                                const WalkRules& rules) {
  std::vector<TopUser> selected;
  for (std::size_t index : order) {
    if (selected.size() >= rules.max) break;
    if (accept_user(users[index], rules)) selected.push_back(std::move(users[index]));
  }
  return selected;
}

}  // namespace vt::cli
